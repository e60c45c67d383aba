"""pyftpdlib test server: the test user reads and writes below the root, anonymous only reads.

Usage: TARSIL_FTP_PASSWORD=... pyftpdlib-server.py ADDRESS PORT ROOT USER LOGFILE [TLSDIR]
With TLSDIR (holding cert.pem and key.pem) TLS is required on the control connection and on
every data connection, and a second listener on port 990 speaks TLS from the first byte.
Runs in the foreground until it is ended by a signal.
"""
import logging
import os
import sys

from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import FTPHandler
from pyftpdlib.servers import FTPServer

IMPLICIT_PORT = 990


def tls_handlers(tlsdir):
    from pyftpdlib.handlers import TLS_DTPHandler, TLS_FTPHandler

    class Data(TLS_DTPHandler):
        # A data connection readable before its transfer command is taken for one the client
        # has closed, and is closed. Clients that begin the TLS handshake as soon as they have
        # connected (as most do) send their hello just then: while the handshake is pending,
        # readable means the handshake goes on.
        def readable(self):
            if self._ssl_accepting:
                return True
            return super().readable()

    class Explicit(TLS_FTPHandler):
        dtp_handler = Data
        certfile = os.path.join(tlsdir, "cert.pem")
        keyfile = os.path.join(tlsdir, "key.pem")
        tls_control_required = True
        tls_data_required = True

        @classmethod
        def get_ssl_context(cls):
            # Without a session id context OpenSSL refuses a client that resumes the control
            # connection's session on a data connection, as clients do.
            context = super().get_ssl_context()
            context.set_session_id(b"tarsil-test")
            return context

    class Implicit(Explicit):
        # The handshake comes first; the greeting follows once it is over.
        def handle(self):
            self.secure_connection(self.ssl_context)

        def handle_ssl_established(self):
            if not getattr(self, "_greeted", False):
                self._greeted = True
                Explicit.handle(self)

    return Explicit, Implicit


def main():
    address, port, root, user, logfile = sys.argv[1:6]
    tlsdir = sys.argv[6] if len(sys.argv) > 6 and sys.argv[6] else None
    password = os.environ["TARSIL_FTP_PASSWORD"]
    logging.basicConfig(filename=logfile, level=logging.INFO,
                        format="%(asctime)s %(message)s")
    authorizer = DummyAuthorizer()
    authorizer.add_user(user, password, root, perm="elradfmwMT")
    authorizer.add_anonymous(root, perm="elr")
    handler = FTPHandler
    implicit = None
    if tlsdir:
        handler, implicit = tls_handlers(tlsdir)
    for kind in (handler, implicit):
        if kind is not None:
            kind.authorizer = authorizer
            kind.banner = "pyftpdlib test server ready."
    server = FTPServer((address, int(port)), handler)
    server.max_cons = 50
    if implicit is not None:
        second = FTPServer((address, IMPLICIT_PORT), implicit, ioloop=server.ioloop)
        second.max_cons = 50
    server.serve_forever()


if __name__ == "__main__":
    main()

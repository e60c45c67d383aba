"""pyftpdlib test server: the test user reads and writes below the root, anonymous only reads.

Usage: TARSIL_FTP_PASSWORD=... pyftpdlib-server.py ADDRESS PORT ROOT USER LOGFILE
Runs in the foreground until it is ended by a signal.
"""
import logging
import os
import sys

from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import FTPHandler
from pyftpdlib.servers import FTPServer


def main():
    address, port, root, user, logfile = sys.argv[1:6]
    password = os.environ["TARSIL_FTP_PASSWORD"]
    logging.basicConfig(filename=logfile, level=logging.INFO,
                        format="%(asctime)s %(message)s")
    authorizer = DummyAuthorizer()
    authorizer.add_user(user, password, root, perm="elradfmwMT")
    authorizer.add_anonymous(root, perm="elr")
    handler = FTPHandler
    handler.authorizer = authorizer
    handler.banner = "pyftpdlib test server ready."
    server = FTPServer((address, int(port)), handler)
    server.max_cons = 50
    server.serve_forever()


if __name__ == "__main__":
    main()

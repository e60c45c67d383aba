// A small FTP server speaking implicit TLS on loopback, for what the real servers will not do:
// certificates that are untrusted, expired or for another name, PROT P refused, and a TLS data
// connection cut in the middle. One control connection; passive data only. It runs on its own
// thread with blocking sockets (each wait bounded); the test thread only reads what it recorded.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "support/TestCertificates.h"

namespace tarsil::testing {

class TlsTestServer {
 public:
  struct Options {
    TestCertificate certificate;
    std::string prot_reply = "200 Protection set to Private\r\n";
    std::string download;   // what RETR sends
    bool cut_data = false;  // RETR sends half, then ends the connection without a close notice
  };

  explicit TlsTestServer(Options options);
  ~TlsTestServer();  // ends the thread (within a second)
  TlsTestServer(const TlsTestServer&) = delete;
  TlsTestServer& operator=(const TlsTestServer&) = delete;

  uint16_t port() const { return port_; }
  std::vector<std::string> Commands() const;
  bool DataResumed() const { return data_resumed_; }  // a data connection resumed the session

 private:
  void Run();
  void Serve(int fd);
  void Record(const std::string& line);

  Options options_;
  int listener_ = -1;
  uint16_t port_ = 0;
  std::atomic<bool> stop_{false};
  std::atomic<bool> data_resumed_{false};
  mutable std::mutex mutex_;
  std::vector<std::string> commands_;
  std::thread thread_;
};

}  // namespace tarsil::testing

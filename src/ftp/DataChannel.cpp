// DataChannel: the sockets and the transfer buffer of the engine's data side.
#include "ftp/DataChannel.h"

namespace tarsil {

DataChannel::DataChannel(EventLoop& loop) : socket_(loop), listener_(loop) {}

DataChannel::~DataChannel() = default;

void DataChannel::CloseSockets() {
  socket_.CloseSocket();
  listener_.CloseSocket();
}

void DataChannel::CloseListener() {
  listener_.OnAcceptReady = nullptr;
  listener_.CloseSocket();
}

char* DataChannel::TransferBuffer() {
  if (buffer_.empty()) {
    buffer_.resize(kTransferBlock);
    ++buffer_allocations_;
  }
  return buffer_.data();
}

}  // namespace tarsil

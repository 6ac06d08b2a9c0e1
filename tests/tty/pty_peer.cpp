#include "pty_peer.h"

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <stdexcept>

namespace ttytest {

PtyPeer::PtyPeer() {
    master_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0) {
        throw std::runtime_error("no pty available");
    }
    char name[128];
    if (ptsname_r(master_, name, sizeof name) != 0) throw std::runtime_error("no pty name");
    tty_path_ = name;
    fcntl(master_, F_SETFL, fcntl(master_, F_GETFL) | O_NONBLOCK);
}

PtyPeer::~PtyPeer() { hang_up(); }

void PtyPeer::send(const std::string &bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = write(master_, bytes.data() + done, bytes.size() - done);
        if (n > 0) {
            done += static_cast<size_t>(n);
        } else if (n < 0 && errno != EINTR && errno != EAGAIN) {
            throw std::runtime_error("pty peer cannot send");
        } else {
            pollfd p{master_, POLLOUT, 0};
            poll(&p, 1, 100);
        }
    }
}

std::string PtyPeer::receive(size_t max, std::chrono::milliseconds wait) {
    std::string got;
    const auto deadline = std::chrono::steady_clock::now() + wait;
    while (got.size() < max) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        pollfd p{master_, POLLIN, 0};
        if (left.count() <= 0 || poll(&p, 1, static_cast<int>(left.count())) <= 0) break;
        char buf[4096];
        const ssize_t n = read(master_, buf, std::min(sizeof buf, max - got.size()));
        if (n <= 0) break;
        got.append(buf, static_cast<size_t>(n));
    }
    return got;
}

void PtyPeer::hang_up() {
    if (master_ >= 0) close(master_);
    master_ = -1;
}

ScriptedPeer::ScriptedPeer(PtyPeer &peer, std::vector<PeerStep> steps)
    : thread_([&peer, steps = std::move(steps)] {
          for (const PeerStep &step : steps) {
              std::this_thread::sleep_for(step.pause);
              if (step.hang_up) {
                  peer.hang_up();
              } else {
                  peer.send(step.bytes);
              }
          }
      }) {}

ScriptedPeer::~ScriptedPeer() { thread_.join(); }

}  // namespace ttytest

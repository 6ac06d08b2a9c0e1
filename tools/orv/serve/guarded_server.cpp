#include "serve/guarded_server.h"

#include <algorithm>
#include <array>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

#include "platform.h"

namespace orvcli {
namespace {

using Clock = std::chrono::steady_clock;

// How often a connection waiting for its next request looks whether the
// server stops.
constexpr std::chrono::milliseconds kStopCheck{200};

// Set on the accepting thread while a connection over the limit is refused,
// and on a serving thread when its connection closes after the answer.
thread_local bool t_refusing = false;
thread_local bool t_close_after_answer = false;

int milliseconds_until(Clock::time_point deadline) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    return static_cast<int>(std::max<std::int64_t>(0, left.count()));
}

bool wait_until(platform::Socket socket, bool for_writing, Clock::time_point deadline) {
    return platform::wait_socket(socket, for_writing, milliseconds_until(deadline)) ==
           platform::SocketReady::ready;
}

// One thread per connection, started as needed, at most `max` connections
// at once: a connection beyond them is closed at once instead of waiting
// behind idle ones.
class ConnectionPool : public httplib::TaskQueue {
public:
    explicit ConnectionPool(std::size_t max) : max_(max) {}

    void enqueue(std::function<void()> job) override {
        std::unique_lock<std::mutex> lock(mutex_);
        if (busy_ >= max_) {
            lock.unlock();
            t_refusing = true;
            job();  // closes the socket without reading it
            t_refusing = false;
            return;
        }
        ++busy_;
        jobs_.push_back(std::move(job));
        if (jobs_.size() > idle_) threads_.emplace_back([this] { work(); });
        lock.unlock();
        ready_.notify_one();
    }

    void shutdown() override {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            stopping_ = true;
        }
        ready_.notify_all();
        for (std::thread &thread : threads_) thread.join();
    }

private:
    void work() {
        std::unique_lock<std::mutex> lock(mutex_);
        for (;;) {
            ++idle_;
            ready_.wait(lock, [this] { return stopping_ || !jobs_.empty(); });
            --idle_;
            if (jobs_.empty()) return;
            std::function<void()> job = std::move(jobs_.front());
            jobs_.pop_front();
            lock.unlock();
            job();
            lock.lock();
            --busy_;
        }
    }

    const std::size_t max_;
    std::mutex mutex_;
    std::condition_variable ready_;
    std::deque<std::function<void()>> jobs_;
    std::vector<std::thread> threads_;  // only the accepting thread adds and joins them
    std::size_t busy_ = 0;              // connections queued or being served
    std::size_t idle_ = 0;              // threads waiting for one
    bool stopping_ = false;
};

// The connection as httplib reads and writes it: buffered, with a byte budget
// and a deadline for each request.
class BoundedStream : public httplib::Stream {
public:
    BoundedStream(platform::Socket socket, const ConnectionLimits &limits)
        : socket_(socket), limits_(limits) {}

    // Waits for the next request until the idle time passes or stop() says so.
    template <typename Stopped>
    bool next_request(Stopped stopped) {
        const Clock::time_point deadline = Clock::now() + limits_.idle;
        while (begin_ == end_) {
            if (stopped() || Clock::now() >= deadline) return false;
            const int slice =
                std::min<int>(milliseconds_until(deadline), static_cast<int>(kStopCheck.count()));
            const platform::SocketReady ready = platform::wait_socket(socket_, false, slice);
            if (ready == platform::SocketReady::failed) return false;
            if (ready == platform::SocketReady::ready && !fill()) return false;
        }
        budget_ = limits_.max_request_bytes;
        request_deadline_ = Clock::now() + limits_.request;
        return true;
    }

    bool is_readable() const override {
        return begin_ != end_ || wait_until(socket_, false, request_deadline_);
    }
    bool is_writable() const override {
        return wait_until(socket_, true, Clock::now() + limits_.write);
    }

    ssize_t read(char *ptr, size_t size) override {
        if (budget_ == 0) return -1;  // the request is larger than allowed
        if (begin_ == end_ && !(wait_until(socket_, false, request_deadline_) && fill())) return -1;
        const std::size_t count = std::min({size, end_ - begin_, budget_});
        std::memcpy(ptr, buffer_.data() + begin_, count);
        begin_ += count;
        budget_ -= count;
        return static_cast<ssize_t>(count);
    }

    ssize_t write(const char *ptr, size_t size) override {
        if (!is_writable()) return -1;
        const long sent = platform::send_some(socket_, ptr, size);
        return sent < 0 ? -1 : static_cast<ssize_t>(sent);
    }

    void get_remote_ip_and_port(std::string &ip, int &port) const override {
        platform::socket_address(socket_, true, ip, port);
    }
    void get_local_ip_and_port(std::string &ip, int &port) const override {
        platform::socket_address(socket_, false, ip, port);
    }
    socket_t socket() const override { return socket_; }

private:
    bool fill() {
        const long got = platform::receive_some(socket_, buffer_.data(), buffer_.size());
        if (got <= 0) return false;
        begin_ = 0;
        end_ = static_cast<std::size_t>(got);
        return true;
    }

    platform::Socket socket_;
    const ConnectionLimits &limits_;
    std::array<char, 4096> buffer_{};
    std::size_t begin_ = 0;
    std::size_t end_ = 0;
    std::size_t budget_ = 0;
    Clock::time_point request_deadline_{};
};

}  // namespace

GuardedServer::GuardedServer(const ConnectionLimits &limits) : limits_(limits) {
    new_task_queue = [max = limits.max_connections] { return new ConnectionPool(max); };
    // Only for httplib's Keep-Alive answer header; the loop below keeps them.
    set_keep_alive_max_count(limits.requests_per_connection);
    set_keep_alive_timeout(std::chrono::duration_cast<std::chrono::seconds>(limits.idle).count());
}

void GuardedServer::close_after_answer() { t_close_after_answer = true; }

bool GuardedServer::process_and_close_socket(socket_t sock) {
    if (t_refusing) {
        platform::close_connection(sock);
        return false;
    }
    BoundedStream stream(sock, limits_);
    for (std::size_t served = 1; served <= limits_.requests_per_connection; ++served) {
        if (!stream.next_request([this] { return svr_sock_ == INVALID_SOCKET; })) break;
        t_close_after_answer = false;
        bool closed = false;
        const bool last = served == limits_.requests_per_connection;
        if (!process_request(stream, last, closed, nullptr) || closed || t_close_after_answer)
            break;
    }
    platform::close_connection(sock);
    return true;
}

}  // namespace orvcli

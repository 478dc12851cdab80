#include "transport/tcp_client.h"

#include <cstring>
#include <exception>

#include "platform/system.h"

namespace measure::transport {

using platform::kInvalidSocket;
using platform::SocketHandle;

namespace {

// How often Request looks whether the connection still stands.
constexpr uint32_t kRequestPollMs = 2000;
// SetSocket wakes the threads this many times, yielding in between, so that
// a thread just about to wait still sees the closed socket.
constexpr int kWakeRounds = 3;

}  // namespace

// ---- Message ----

void Message::set(const void* data, size_t length) {
    bytes_.clear();
    if (data == nullptr || length == 0) return;
    bytes_.resize(length + 1);
    std::memcpy(bytes_.data(), data, length);
    bytes_[length] = '\0';
}

// ---- Thread ----

Thread::~Thread() {
    if (thread_.joinable()) {
        if (thread_.get_id() == std::this_thread::get_id())
            thread_.detach();
        else
            thread_.join();
    }
}

bool Thread::start(bool joinable) {
    if (thread_.joinable() || running_.load()) return false;
    joinable_ = joinable;
    running_.store(true);
    try {
        thread_ = std::thread([this] { body(); });
    } catch (...) {
        running_.store(false);
        return false;
    }
    if (!joinable_) thread_.detach();
    return true;
}

void Thread::body() {
    threadId_.store(platform::currentThreadId());
    uint32_t code = 0;
    try {
        code = Run();
    } catch (...) {
        code = 0xFFFFFFFFu;  // no exception leaves the thread
    }
    exitCode_.store(code);
    running_.store(false);
}

void Thread::wait() {
    if (!thread_.joinable() || thread_.get_id() == std::this_thread::get_id()) return;
    thread_.join();
}

// ---- low-level send ----

size_t sendAll(SocketHandle socket, const void* data, size_t length, uint32_t timeoutMs) {
    const auto* bytes = static_cast<const char*>(data);
    size_t sent = 0;
    while (sent < length) {
        const int n = platform::sendSome(socket, bytes + sent, length - sent, timeoutMs);
        if (n < 1) break;
        sent += static_cast<size_t>(n);
    }
    return sent;
}

// ---- TCPClient ----

TCPClient::TCPClient() : address_{platform::loopbackAddress(), 0} {}

TCPClient::~TCPClient() {
    dropConnection();
}

void TCPClient::setHost(const char* name) {
    uint32_t address = 0;
    if (platform::parseIpv4(name, address) || platform::resolveIpv4(name, address))
        address_.address = address;
    else
        address_.address = platform::loopbackAddress();
}

void TCPClient::setPort(uint16_t port) {
    address_.port = platform::hostToNetwork16(port);
}

TCPClientConnection* TCPClient::acquire() {
    mutex_.lock();
    if (connection_) return connection_.get();
    mutex_.unlock();
    return nullptr;
}

void TCPClient::release() {
    mutex_.unlock();
}

void TCPClient::notify() {
    condition_.notify_all();
}

bool TCPClient::wait(uint32_t ms) {
    std::unique_lock lock(mutex_, std::adopt_lock);
    bool woken = true;
    if (ms == platform::kInfinite)
        condition_.wait(lock);
    else
        woken = condition_.wait_for(lock, platform::scaledPeerWait(ms)) == std::cv_status::no_timeout;
    lock.release();  // the caller keeps its lock
    return woken;
}

void TCPClient::dropConnection() {
    std::unique_ptr<TCPClientConnection> old;
    {
        std::lock_guard lock(mutex_);
        old = std::move(connection_);
    }
    old.reset();  // outside the lock: its threads take the lock while ending
}

TCPClientConnection* TCPClient::Connect(std::unique_ptr<TCPClientConnection> connection) {
    if (!connection || connection->client() != this || connection->IsConnected()) return nullptr;
    const SocketHandle socket = platform::createTcpSocket();
    if (socket == kInvalidSocket) return nullptr;
    if (!platform::setSocketOption(socket, platform::SocketOption::ReuseAddress, 1) ||
        (platform::setSocketOption(socket, platform::SocketOption::KeepAlive, 1),
         !platform::connectSocket(socket, address_, kConnectTimeoutMs))) {
        platform::shutdownSocket(socket);
        platform::closeSocket(socket);
        return nullptr;
    }
    dropConnection();
    TCPClientConnection* current = connection.get();
    {
        std::lock_guard lock(mutex_);
        connection_ = std::move(connection);
    }
    // From here the connection owns the socket, also when it fails to start.
    current->SetSocket(socket);
    if (current->IsConnected()) return current;
    dropConnection();
    return nullptr;
}

// ---- TCPClientConnection ----

TCPClientConnection::~TCPClientConnection() {
    shutdown();
}

void TCPClientConnection::shutdown() {
    Disconnect();
    if (client_ != nullptr) {
        std::lock_guard lock(client_->mutex_);
        queue_.clear();
        client_->notify();
    }
    joinThreads();
    releaseRetiredSockets();
}

bool TCPClientConnection::IsConnected() const {
    return client_ != nullptr && GetSocket() != kInvalidSocket;
}

void TCPClientConnection::wakeThreads() {
    if (client_ == nullptr) return;
    for (int round = 0; round < kWakeRounds; ++round) {
        {
            std::lock_guard lock(client_->mutex_);
            client_->notify();
        }
        std::this_thread::yield();
    }
}

void TCPClientConnection::joinThreads() {
    if (notificationThread_) notificationThread_->wait();
    if (readThread_) readThread_->wait();
}

void TCPClientConnection::releaseRetiredSockets() {
    std::vector<SocketHandle> sockets;
    {
        std::lock_guard lock(retiredMutex_);
        sockets.swap(retired_);
    }
    for (SocketHandle socket : sockets) platform::closeSocket(socket);
}

void TCPClientConnection::retire(SocketHandle old) {
    if (old == kInvalidSocket) return;
    platform::shutdownSocket(old);
    {
        std::lock_guard lock(retiredMutex_);
        retired_.push_back(old);
    }
    wakeThreads();
}

void TCPClientConnection::SetSocket(SocketHandle socket) {
    retire(socket_.exchange(kInvalidSocket));
    if (client_ == nullptr) {
        // Nobody could ever read it: give it back to the system.
        if (socket != kInvalidSocket) platform::closeSocket(socket);
        return;
    }
    if (socket == kInvalidSocket) return;

    // A new socket, on the user's thread: the previous threads were woken
    // above (or ended with their socket); let them finish before replacing.
    joinThreads();
    notificationThread_.reset();
    readThread_.reset();
    releaseRetiredSockets();

    socket_.store(socket);
    platform::setSocketOption(socket, platform::SocketOption::NoDelay, 1);
    bool started = false;
    try {
        notificationThread_ = std::make_unique<TCPClientConnectionNotificationThread>(*client_, *this);
        readThread_ = std::make_unique<TCPClientConnectionReadThread>(*client_, *this);
        started = notificationThread_->start(true) && readThread_->start(true);
    } catch (...) {
        started = false;
    }
    std::this_thread::yield();
    if (!started) {
        Disconnect();
        joinThreads();
        notificationThread_.reset();
        readThread_.reset();
        releaseRetiredSockets();
    }
}

bool TCPClientConnection::Send(const Message* message, uint32_t timeoutMs) {
    std::lock_guard lock(sendMutex_);
    if (message == nullptr) return false;
    if (message->empty()) return true;
    return sendAll(GetSocket(), message->data(), message->length(), timeoutMs) == message->length();
}

std::unique_ptr<Message> TCPClientConnection::Request(const void* data, size_t length, uint32_t timeoutMs) {
    if (client_ == nullptr) return nullptr;
    {
        std::lock_guard lock(client_->mutex_);
        ++waitingRequests_;  // the reply is ours, not OnMessage's
    }
    std::unique_ptr<Message> reply;
    const Message request(data, length);
    const bool sent = Send(&request, timeoutMs);
    std::unique_lock lock(client_->mutex_);
    while (sent && queue_.empty() && IsConnected()) {
        lock.release();
        client_->wait(kRequestPollMs);
        lock = std::unique_lock(client_->mutex_, std::adopt_lock);
    }
    if (sent && !queue_.empty()) {
        reply = std::move(queue_.front());
        queue_.pop_front();
    }
    --waitingRequests_;
    client_->notify();  // the notification thread may go on
    return reply;
}

void TCPClientConnection::OnMessage(const char*, size_t) {}

size_t TCPClientConnection::queuedMessages() {
    if (client_ == nullptr) return 0;
    std::lock_guard lock(client_->mutex_);
    return queue_.size();
}

// ---- threads ----

uint32_t TCPClientConnectionReadThread::Run() {
    SocketHandle socket = kInvalidSocket;
    {
        std::lock_guard lock(client_.mutex_);
        socket = connection_.GetSocket();
    }
    if (socket == kInvalidSocket) return 0;

    MessageFramer framer(connection_.maxFrame());
    char buffer[kChunk];
    for (;;) {
        // Without a timeout: shutting the socket down ends the wait.
        const int received = platform::receiveSome(socket, buffer, sizeof buffer, platform::kInfinite);
        if (received <= 0) break;  // error or the peer closed: the connection is lost
        framer.setMaxFrame(connection_.maxFrame());
        auto frame = framer.feed(std::string_view(buffer, static_cast<size_t>(received)));
        if (!frame) continue;
        auto message = std::make_unique<Message>(frame->data(), frame->size());
        std::lock_guard lock(client_.mutex_);
        connection_.queue_.push_back(std::move(message));
        client_.notify();
    }
    // A new socket is only stored after this thread has ended, so the
    // connection still holds this thread's socket or none.
    std::lock_guard lock(client_.mutex_);
    if (connection_.GetSocket() == socket) connection_.Disconnect();
    return 0;
}

uint32_t TCPClientConnectionNotificationThread::Run() {
    std::unique_lock lock(client_.mutex_);
    for (;;) {
        while (!connection_.queue_.empty() && connection_.waitingRequests_ == 0) {
            std::unique_ptr<Message> message = std::move(connection_.queue_.front());
            connection_.queue_.pop_front();
            lock.unlock();
            try {
                connection_.OnMessage(message->data(), message->length());
            } catch (...) {
                // The handler's failure is its own; the stream goes on.
            }
            message.reset();
            lock.lock();
        }
        if (connection_.GetSocket() == kInvalidSocket) return 0;
        // Woken for a queued message, a finished Request or a closed socket.
        lock.release();
        client_.wait(platform::kInfinite);
        lock = std::unique_lock(client_.mutex_, std::adopt_lock);
        // A closed socket ends the thread once what was received is handed on.
        if (connection_.GetSocket() == kInvalidSocket &&
            (connection_.queue_.empty() || connection_.waitingRequests_ != 0))
            return 0;
        lock.unlock();
        std::this_thread::yield();
        lock.lock();
    }
}

}  // namespace measure::transport

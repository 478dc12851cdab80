// A small message-oriented TCP client. TCPClient holds the server address and
// one current connection; a TCPClientConnection owns the socket and two
// threads: the read thread cuts the byte stream into "BEGIN_MESSAGE" ...
// "END_MESSAGE" frames (MessageFramer: it resynchronises on the next
// "BEGIN_MESSAGE" after stray bytes and drops a frame beyond 16 MiB) and
// queues them; the notification thread hands each queued message to
// OnMessage, which a protocol client overrides.
//
// Threads: the user's thread connects, sends and destroys; the read thread
// only receives; the notification thread only runs OnMessage. The client's
// mutex (recursive, like the critical section it stands for) guards the
// current connection and every message queue; its condition is a broadcast
// that wakes the notification thread for a queued message and both threads
// when the socket closes. Sends are serialised by the connection's own mutex.
//
// Failures are results (null, false, -1); nothing is thrown or logged.
//
// A closed connection's socket is shut down at once (waking the threads) but
// its handle is only released once both threads have ended, so a thread can
// never touch a handle number the system has given to someone else.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/clock.h"
#include "platform/socket.h"
#include "transport/message_framer.h"

namespace measure::transport {

class TCPClient;
class TCPClientConnection;

// A received or outgoing message: an owned copy of the bytes, always followed
// by one terminating zero byte that the length does not count.
class Message {
public:
    Message() = default;
    Message(const void* data, size_t length) { set(data, length); }
    virtual ~Message() = default;

    // Copies `length` bytes; a null pointer or 0 length leaves it empty.
    void set(const void* data, size_t length);
    const char* data() const { return bytes_.empty() ? "" : bytes_.data(); }
    size_t length() const { return bytes_.empty() ? 0 : bytes_.size() - 1; }
    bool empty() const { return length() == 0; }

private:
    std::vector<char> bytes_;
};

// A thread with a virtual body. Start it once; Wait joins it (from any thread
// but its own).
class Thread {
public:
    Thread() = default;
    virtual ~Thread();
    Thread(const Thread&) = delete;
    Thread& operator=(const Thread&) = delete;

    // The thread's body; its result becomes the exit code.
    virtual uint32_t Run() = 0;
    // An extension point for derived threads; 0 here, not called by Thread.
    virtual int Hook() { return 0; }

    // Starts the thread; a thread that is not joinable runs detached. False
    // when the system refuses a thread.
    bool start(bool joinable);
    bool isRunning() const { return running_.load(); }
    // Waits for a joinable thread to end (returns at once on the thread itself).
    void wait();
    uint32_t threadId() const { return threadId_.load(); }
    uint32_t exitCode() const { return exitCode_.load(); }

private:
    void body();

    std::thread thread_;
    std::atomic<bool> running_{false};
    std::atomic<uint32_t> threadId_{0};
    std::atomic<uint32_t> exitCode_{0};
    bool joinable_ = false;
};

class TCPClient {
public:
    TCPClient();
    // Destroys the current connection (its threads end first).
    virtual ~TCPClient();
    TCPClient(const TCPClient&) = delete;
    TCPClient& operator=(const TCPClient&) = delete;

    // Connects `connection` (which must be bound to this client) to the stored
    // address and makes it the current connection, replacing any earlier one.
    // Returns it when connected; null otherwise (the connection is destroyed).
    virtual TCPClientConnection* Connect(std::unique_ptr<TCPClientConnection> connection);

    // A dotted IPv4 address is used as is; another name is resolved to its
    // first address; a null or unresolvable name gives 127.0.0.1.
    void setHost(const char* name);
    void setPort(uint16_t port);
    const platform::Ipv4Endpoint& address() const { return address_; }

    // Locks the client and returns the current connection; when there is
    // none, unlocks at once and returns null. Pair a non-null result with
    // release().
    TCPClientConnection* acquire();
    void release();
    // Wakes every waiter on the condition.
    void notify();
    // With the client locked once: waits for a notify up to `ms` specified
    // milliseconds (platform::kInfinite: without limit). True when woken.
    bool wait(uint32_t ms);
    // Destroys the current connection and clears it. Not from OnMessage.
    void dropConnection();

    // How long Connect waits for the server to accept, in specified ms.
    static constexpr uint32_t kConnectTimeoutMs = 10000;

private:
    friend class TCPClientConnection;
    friend class TCPClientConnectionReadThread;
    friend class TCPClientConnectionNotificationThread;

    std::unique_ptr<TCPClientConnection> connection_;  // guarded by mutex_
    std::recursive_mutex mutex_;
    std::condition_variable_any condition_;
    platform::Ipv4Endpoint address_;
};

class TCPConnection {
public:
    TCPConnection() = default;
    virtual ~TCPConnection() = default;
    TCPConnection(const TCPConnection&) = delete;
    TCPConnection& operator=(const TCPConnection&) = delete;

    virtual bool IsConnected() const { return GetSocket() != platform::kInvalidSocket; }
    virtual void Disconnect() { SetSocket(platform::kInvalidSocket); }
    virtual void SetSocket(platform::SocketHandle socket) { socket_.store(socket); }
    virtual platform::SocketHandle GetSocket() const { return socket_.load(); }

protected:
    std::atomic<platform::SocketHandle> socket_{platform::kInvalidSocket};
};

class TCPClientConnectionReadThread : public Thread {
public:
    TCPClientConnectionReadThread(TCPClient& client, TCPClientConnection& connection)
        : client_(client), connection_(connection) {}
    uint32_t Run() override;

    // Bytes taken from the socket per receive.
    static constexpr size_t kChunk = 512;

private:
    TCPClient& client_;
    TCPClientConnection& connection_;
};

class TCPClientConnectionNotificationThread : public Thread {
public:
    TCPClientConnectionNotificationThread(TCPClient& client, TCPClientConnection& connection)
        : client_(client), connection_(connection) {}
    uint32_t Run() override;

private:
    TCPClient& client_;
    TCPClientConnection& connection_;
};

class TCPClientConnection : public TCPConnection {
public:
    // A connection of `client` (null: a connection that never connects).
    explicit TCPClientConnection(TCPClient* client) : client_(client) {}
    // Disconnects, drops queued messages and waits for both threads. A
    // derived class that overrides OnMessage calls shutdown() in its own
    // destructor, so no message reaches a half-destroyed object.
    ~TCPClientConnection() override;

    bool IsConnected() const override;
    // Takes over `socket`. An open socket is shut down first and both threads
    // are woken so that they end; a valid new socket gets TCP_NODELAY and a
    // fresh notification thread and read thread.
    void SetSocket(platform::SocketHandle socket) override;

    // Sends the whole message within `timeoutMs` per send call. True when every
    // byte went out or the message is empty (the socket is not touched);
    // false for a null message or a short send.
    virtual bool Send(const Message* message, uint32_t timeoutMs = platform::kInfinite);
    // Sends `data`, then waits for the next received message, waking every
    // 2000 ms to check that the connection still stands; while it waits, the
    // messages are its own and not OnMessage's. Null when the send failed or
    // the connection fell.
    virtual std::unique_ptr<Message> Request(const void* data, size_t length,
                                             uint32_t timeoutMs = platform::kInfinite);
    // Called on the notification thread for every received message.
    virtual void OnMessage(const char* data, size_t length);
    // A second notification hook; does nothing here.
    virtual void OnNotification() {}

    TCPClient* client() const { return client_; }
    // The largest frame the read thread accumulates before dropping it
    // (16 MiB by default); any thread may change it at any time.
    void setMaxFrame(size_t bytes) { maxFrame_.store(bytes); }
    size_t maxFrame() const { return maxFrame_.load(); }
    // Messages received and not yet handed to OnMessage.
    size_t queuedMessages();

protected:
    // Disconnects, drops what is queued and waits for both threads. Safe to
    // call more than once.
    void shutdown();

private:
    friend class TCPClientConnectionReadThread;
    friend class TCPClientConnectionNotificationThread;

    // Shuts `old` down (waking both threads) and keeps its handle until the
    // threads have ended.
    void retire(platform::SocketHandle old);
    void wakeThreads();
    void joinThreads();
    void releaseRetiredSockets();

    TCPClient* const client_;
    std::unique_ptr<TCPClientConnectionNotificationThread> notificationThread_;
    std::unique_ptr<TCPClientConnectionReadThread> readThread_;
    std::deque<std::unique_ptr<Message>> queue_;  // guarded by the client's mutex
    int waitingRequests_ = 0;                     // guarded by the client's mutex
    std::atomic<size_t> maxFrame_{MessageFramer::kDefaultMaxFrame};
    std::mutex sendMutex_;
    std::mutex retiredMutex_;
    std::vector<platform::SocketHandle> retired_;  // shut down, closed after the threads
};

// Sends every byte, one send call after another, each waiting up to
// `timeoutMs`: the count sent (short when a call sent less than one byte).
size_t sendAll(platform::SocketHandle socket, const void* data, size_t length, uint32_t timeoutMs);

}  // namespace measure::transport

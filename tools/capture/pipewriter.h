#ifndef PIPEWRITER_H
#define PIPEWRITER_H

#include <QByteArray>

#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

// Writes buffers to a file descriptor in order on a thread of its own, so that whoever fills
// them goes on with the next while the reader at the other end takes its time. A few
// buffers wait at most; written ones come back for reuse, so memory stays flat.
class PipeWriter
{
public:
    // Takes over fd and closes it once everything queued is written or writing failed.
    PipeWriter(int fd, int queueLength);
    // Stops at once: what has not been written yet is dropped.
    ~PipeWriter();
    PipeWriter(const PipeWriter &) = delete;
    PipeWriter &operator=(const PipeWriter &) = delete;

    // Waits up to timeoutMs for room for one more buffer.
    bool waitForRoom(int timeoutMs);
    // A written buffer to fill again, or an empty one.
    QByteArray takeSpare();
    // Queues buffer; call only when there is room.
    void write(QByteArray buffer);
    // No more buffers come: the rest is written and the descriptor closed.
    void closeInput();
    // Waits up to timeoutMs for the descriptor to be closed.
    bool waitForClosed(int timeoutMs);
    // True once a write failed (the reader has gone): nothing more is written.
    bool hasFailed() const;

private:
    void run();
    bool writeAll(const QByteArray &buffer);

    int fd;
    int queueLength;
    mutable std::mutex mutex;
    std::condition_variable changed;
    std::deque<QByteArray> queue;
    QByteArray spare;
    bool inputClosed = false;
    bool stopping = false;
    bool failed = false;
    bool closed = false;
    std::thread thread;
};

#endif

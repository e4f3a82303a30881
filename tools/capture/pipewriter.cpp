#include "pipewriter.h"

#include <cerrno>
#include <csignal>
#include <unistd.h>

PipeWriter::PipeWriter(int fd, int queueLength)
    : fd(fd), queueLength(queueLength), thread(&PipeWriter::run, this)
{}

PipeWriter::~PipeWriter()
{
    {
        const std::lock_guard<std::mutex> lock(mutex);
        stopping = true;
    }
    changed.notify_all();
    thread.join();
}

bool PipeWriter::waitForRoom(int timeoutMs)
{
    std::unique_lock<std::mutex> lock(mutex);
    return changed.wait_for(lock, std::chrono::milliseconds(timeoutMs), [this] {
        return int(queue.size()) < queueLength || failed;
    }) && !failed;
}

QByteArray PipeWriter::takeSpare()
{
    const std::lock_guard<std::mutex> lock(mutex);
    return std::move(spare);
}

void PipeWriter::write(QByteArray buffer)
{
    {
        const std::lock_guard<std::mutex> lock(mutex);
        queue.push_back(std::move(buffer));
    }
    changed.notify_all();
}

void PipeWriter::closeInput()
{
    {
        const std::lock_guard<std::mutex> lock(mutex);
        inputClosed = true;
    }
    changed.notify_all();
}

bool PipeWriter::waitForClosed(int timeoutMs)
{
    std::unique_lock<std::mutex> lock(mutex);
    return changed.wait_for(lock, std::chrono::milliseconds(timeoutMs), [this] { return closed; });
}

bool PipeWriter::hasFailed() const
{
    const std::lock_guard<std::mutex> lock(mutex);
    return failed;
}

void PipeWriter::run()
{
    // Signals go to the main thread; a reader that has gone shows here as EPIPE rather than
    // as a SIGPIPE that would end the program.
    sigset_t all;
    sigfillset(&all);
    pthread_sigmask(SIG_BLOCK, &all, nullptr);
    std::unique_lock<std::mutex> lock(mutex);
    for (;;) {
        changed.wait(lock, [this] { return stopping || inputClosed || !queue.empty(); });
        if (stopping || queue.empty())
            break;
        // The buffer keeps its place in the queue while it is written, so it counts.
        QByteArray buffer = std::move(queue.front());
        lock.unlock();
        const bool written = writeAll(buffer);
        lock.lock();
        queue.pop_front();
        spare = std::move(buffer);
        failed = !written;
        changed.notify_all();
        if (failed)
            break;
    }
    ::close(fd);
    closed = true;
    changed.notify_all();
}

bool PipeWriter::writeAll(const QByteArray &buffer)
{
    const char *data = buffer.constData();
    qint64 left = buffer.size();
    while (left > 0) {
        const ssize_t count = ::write(fd, data, size_t(left));
        if (count < 0 && errno == EINTR)
            continue;
        if (count <= 0)
            return false;
        data += count;
        left -= count;
    }
    return true;
}

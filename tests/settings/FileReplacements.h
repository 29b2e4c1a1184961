#pragma once

#include <QFile>
#include <QFileInfo>
#include <QString>

#include <sys/inotify.h>
#include <unistd.h>

#include <cstddef>
#include <cstring>

namespace testsupport {

// Counts how often a file is put in place in its (existing) folder: each atomic replacement
// renames or links a finished file to the name, so each costs a flush to disk.
class FileReplacements {
public:
    explicit FileReplacements(const QString& path)
        : name_(QFile::encodeName(QFileInfo(path).fileName())),
          fd_(inotify_init1(IN_NONBLOCK | IN_CLOEXEC)) {
        if (fd_ >= 0) {
            watch_ = inotify_add_watch(
                fd_, QFile::encodeName(QFileInfo(path).absolutePath()).constData(),
                IN_MOVED_TO | IN_CREATE);
        }
    }
    ~FileReplacements() {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    FileReplacements(const FileReplacements&) = delete;
    FileReplacements& operator=(const FileReplacements&) = delete;

    bool Watching() const { return fd_ >= 0 && watch_ >= 0; }

    // Replacements since the previous call.
    int Take() {
        alignas(inotify_event) char buffer[16 * 1024];
        int count = 0;
        for (;;) {
            const ssize_t got = ::read(fd_, buffer, sizeof buffer);
            if (got <= 0) {
                return count;
            }
            for (std::size_t at = 0; at < static_cast<std::size_t>(got);) {
                const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
                if (event->len > 0 && name_ == event->name) {
                    ++count;
                }
                at += sizeof(inotify_event) + event->len;
            }
        }
    }

private:
    QByteArray name_;
    int fd_ = -1;
    int watch_ = -1;
};

} // namespace testsupport

#include "serial/ZorComMainCall.h"

namespace serial {

bool TMainCallChannel::Call(std::function<void()> Function) {
    auto pending = std::make_shared<Pending>();
    pending->function = std::move(Function);
    {
        std::lock_guard lock(mutex_);
        if (closed_) {
            return false;
        }
        queue_.push_back(pending);
    }
    post_();

    std::unique_lock lock(mutex_);
    finished_.wait(lock, [&] { return pending->done || closed_; });
    if (!pending->done) {
        return false;
    }
    if (pending->error) {
        std::rethrow_exception(pending->error);
    }
    return true;
}

void TMainCallChannel::RunPending() {
    for (;;) {
        std::shared_ptr<Pending> pending;
        {
            std::lock_guard lock(mutex_);
            if (closed_ || queue_.empty()) {
                return;
            }
            pending = std::move(queue_.front());
            queue_.pop_front();
        }
        std::exception_ptr error;
        try {
            pending->function();
        } catch (...) {
            error = std::current_exception();
        }
        {
            std::lock_guard lock(mutex_);
            pending->error = error;
            pending->done = true;
        }
        finished_.notify_all();
    }
}

void TMainCallChannel::Close() {
    {
        std::lock_guard lock(mutex_);
        closed_ = true;
        queue_.clear();
    }
    finished_.notify_all();
}

bool TMainCallChannel::Closed() const {
    std::lock_guard lock(mutex_);
    return closed_;
}

} // namespace serial

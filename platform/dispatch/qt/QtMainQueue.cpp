#include "platform/dispatch/qt/QtMainQueue.h"

#include <QMetaObject>
#include <QSocketNotifier>
#include <QThread>
#include <QTimer>
#include <chrono>
#include <limits>

#include "platform/dispatch/SerialQueue.h"

namespace mavu::dispatch {

QtMainQueue::QtMainQueue(const Clock& clock)
    : clock_(clock), context_(std::make_unique<QObject>()) {}

QtMainQueue::~QtMainQueue() = default;

void QtMainQueue::async(Work work) {
    QMetaObject::invokeMethod(context_.get(), std::move(work), Qt::QueuedConnection);
}

void QtMainQueue::asyncAt(MonotonicTime deadline, Work work) {
    if (deadline == MonotonicTime::max()) {
        return;  // never due
    }
    // Timers must be started on the queue's own thread; hop there first.
    QObject* context = context_.get();
    async([this, context, deadline, work = std::move(work)]() mutable {
        const auto wait = deadline - clock_.monotonicNow();
        const auto ms = std::chrono::ceil<std::chrono::milliseconds>(wait).count();
        if (ms <= 0) {
            work();
            return;
        }
        // Qt timers take an int; a farther deadline re-arms itself when this one ends.
        constexpr long long maxMs = std::numeric_limits<int>::max();
        if (ms > maxMs) {
            QTimer::singleShot(static_cast<int>(maxMs), Qt::PreciseTimer, context,
                               [this, deadline, work = std::move(work)]() mutable {
                                   asyncAt(deadline, std::move(work));
                               });
            return;
        }
        QTimer::singleShot(static_cast<int>(ms), Qt::PreciseTimer, context, std::move(work));
    });
}

namespace {
class NotifierWatch final : public ReadableWatch {
  public:
    NotifierWatch(int fd, Work onReadable) : notifier_(fd, QSocketNotifier::Read) {
        QObject::connect(&notifier_, &QSocketNotifier::activated,
                         [onReadable = std::move(onReadable)] { onReadable(); });
    }

  private:
    QSocketNotifier notifier_;
};
}  // namespace

std::unique_ptr<ReadableWatch> QtMainQueue::watchReadable(int fd, Work onReadable) {
    return std::make_unique<NotifierWatch>(fd, std::move(onReadable));
}

bool QtMainQueue::isCurrent() const {
    return QThread::currentThread() == context_->thread();
}

std::shared_ptr<Queue> QtDispatch::makeSerialQueue(std::string label) {
    return std::make_shared<SerialQueue>(std::move(label), clock_);
}

}  // namespace mavu::dispatch

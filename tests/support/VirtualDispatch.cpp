#include "tests/support/VirtualDispatch.h"

#include <algorithm>
#include <chrono>

namespace mavu::testing {

// A serial queue (Base = Queue) or the main queue (Base = MainQueue) in virtual time.
template <class Base>
class VirtualQueue : public Base {
  public:
    VirtualQueue(VirtualDispatch& owner, std::string label)
        : owner_(owner), label_(std::move(label)) {}
    ~VirtualQueue() override { *alive_ = false; }

    void async(Work work) override {
        owner_.enqueue(owner_.monotonicNow(), alive_, this, std::move(work));
    }
    void asyncAt(MonotonicTime deadline, Work work) override {
        owner_.enqueue(deadline, alive_, this, std::move(work));
    }
    const dispatch::Clock& clock() const override { return owner_; }
    const std::string& label() const override { return label_; }
    bool isCurrent() const override { return owner_.current_ == this; }

  protected:
    VirtualDispatch& owner_;

  private:
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
    std::string label_;
};

class VirtualMainQueue final : public VirtualQueue<dispatch::MainQueue> {
  public:
    explicit VirtualMainQueue(VirtualDispatch& owner) : VirtualQueue(owner, "main") {}

    std::unique_ptr<dispatch::ReadableWatch> watchReadable(int fd, Work onReadable) override {
        struct Handle final : dispatch::ReadableWatch {
            std::shared_ptr<bool> active = std::make_shared<bool>(true);
            ~Handle() override { *active = false; }
        };
        auto handle = std::make_unique<Handle>();
        owner_.watches_.push_back({fd, std::move(onReadable), handle->active});
        return handle;
    }
};

VirtualDispatch::VirtualDispatch() : main_(std::make_unique<VirtualMainQueue>(*this)) {}

VirtualDispatch::~VirtualDispatch() = default;

std::shared_ptr<dispatch::Queue> VirtualDispatch::makeSerialQueue(std::string label) {
    return std::make_shared<VirtualQueue<dispatch::Queue>>(*this, std::move(label));
}

WallTime VirtualDispatch::wallNow() const {
    const WallTime start = WallTime{} + std::chrono::seconds(1798761600);  // 2027-01-01
    return start + std::chrono::duration_cast<WallTime::duration>(now_ - start_ + wallOffset_);
}

void VirtualDispatch::enqueue(MonotonicTime due, std::shared_ptr<bool> alive,
                              const dispatch::Queue* queue, Work work) {
    pending_.emplace(std::pair{due, sequence_++}, Item{std::move(alive), queue, std::move(work)});
}

void VirtualDispatch::advance(Duration by) {
    const MonotonicTime target = dispatch::addSaturating(now_, by);
    while (!pending_.empty() && pending_.begin()->first.first <= target) {
        auto node = pending_.extract(pending_.begin());
        now_ = std::max(now_, node.key().first);
        Item& item = node.mapped();
        if (*item.queueAlive) {
            runOn(item.queue, item.work);
        }
    }
    now_ = std::max(now_, target);
}

void VirtualDispatch::runOn(const dispatch::Queue* queue, const Work& work) {
    const dispatch::Queue* previous = std::exchange(current_, queue);
    work();
    current_ = previous;
}

void VirtualDispatch::signalReadable(int fd) {
    // Copy first: a callback may add or drop watches.
    const std::vector<Watch> watches = watches_;
    for (const auto& watch : watches) {
        if (watch.fd == fd && *watch.active) {
            runOn(main_.get(), watch.onReadable);
        }
    }
}

std::size_t VirtualDispatch::readableWatchCount() const {
    return std::count_if(watches_.begin(), watches_.end(),
                         [](const Watch& w) { return *w.active; });
}

}  // namespace mavu::testing

#include "platform/clientcheck/VerdictCache.h"

namespace mavu::clientcheck {

std::optional<bool> VerdictCache::find(const FileKey& key) const {
    std::lock_guard lock(mutex_);
    if (auto known = verdicts_.find(key); known != verdicts_.end()) {
        return known->second;
    }
    return std::nullopt;
}

void VerdictCache::remember(const FileKey& key, bool accepted) {
    std::lock_guard lock(mutex_);
    if (verdicts_.size() >= capacity_) {
        verdicts_.clear();
    }
    verdicts_[key] = accepted;
}

}  // namespace mavu::clientcheck

#include "user_label_db.h"

#include "settings/app_settings.h"

namespace varlowe {

std::mutex& UserLabelDB::lock() {
    static std::mutex mutex;  // one for the process, as the store is shared by all windows
    return mutex;
}

std::string UserLabelDB::label(const std::string& address) {
    std::lock_guard<std::mutex> guard(lock());
    return labels_[address];
}

bool UserLabelDB::hasLabel(const std::string& address) {
    return !label(address).empty();
}

void UserLabelDB::setLabel(const std::string& address, const std::string& text, bool persist) {
    if (text.empty()) {
        return;
    }
    {
        std::lock_guard<std::mutex> guard(lock());
        labels_[address] = text;
    }
    if (persist) {
        AppSettings::setUserLabel(address, text);
    }
}

void UserLabelDB::removeLabel(const std::string& address) {
    AppSettings::removeUserLabel(address);
    std::lock_guard<std::mutex> guard(lock());
    labels_.erase(address);
}

}  // namespace varlowe

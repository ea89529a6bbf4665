#pragma once

#include <map>
#include <mutex>
#include <string>

#include "settings/settings_store.h"

namespace varlowe {

// Labels of diagram columns by endpoint address, shared by every diagram window. A label can
// be kept for this run only or also stored in the settings, so that it comes back later.
class UserLabelDB : public IUserLabelReceiver {
  public:
    ~UserLabelDB() override = default;

    // Empty when the address has no label.
    std::string label(const std::string& address);
    bool hasLabel(const std::string& address);
    // An empty text changes nothing; `persist` also stores the label in the settings.
    void setLabel(const std::string& address, const std::string& text, bool persist);
    void removeLabel(const std::string& address);

    // Labels read from the settings at start-up are taken without being written back.
    void receiveLabel(const std::string& address, const std::string& text) override {
        setLabel(address, text, false);
    }

  private:
    static std::mutex& lock();
    std::map<std::string, std::string> labels_;
};

}  // namespace varlowe

#include "background_analysis.h"

#include "analysis_model.h"

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <thread>

namespace varlowe {

namespace {

// What the worker hands to the calling thread, under one lock.
struct Exchange {
    std::mutex lock;
    std::condition_variable changed;

    // Progress: the latest report wins; begin and end are kept until carried out.
    std::optional<std::pair<std::string, std::string>> begin;  // title, message
    int range = 100;
    std::optional<std::pair<int, std::string>> update;
    bool end = false;
    bool cancelled = false;  // the user asked to cancel

    // A question or an error box the worker waits for.
    enum class Ask { None, Error, YesNo };
    Ask ask = Ask::None;
    std::string title, message;
    std::optional<bool> answer;

    bool finished = false;
};

class WorkerProgress : public IAnalysisProgress {
  public:
    explicit WorkerProgress(Exchange& exchange) : exchange_(exchange) {}
    void begin(const std::string& title, const std::string& message, int range) override {
        std::lock_guard<std::mutex> guard(exchange_.lock);
        exchange_.begin = std::make_pair(title, message);
        exchange_.range = range;
    }
    bool update(int value, const std::string& message) override {
        std::lock_guard<std::mutex> guard(exchange_.lock);
        exchange_.update = std::make_pair(value, message);
        return !exchange_.cancelled;
    }
    void end() override {
        std::lock_guard<std::mutex> guard(exchange_.lock);
        exchange_.end = true;
    }

  private:
    Exchange& exchange_;
};

class WorkerDialogs : public IAnalysisDialogs {
  public:
    explicit WorkerDialogs(Exchange& exchange) : exchange_(exchange) {}
    void showError(const std::string& title, const std::string& message) override {
        request(Exchange::Ask::Error, title, message);
    }
    bool askYesNo(const std::string& title, const std::string& message) override {
        return request(Exchange::Ask::YesNo, title, message);
    }

  private:
    bool request(Exchange::Ask ask, const std::string& title, const std::string& message) {
        std::unique_lock<std::mutex> guard(exchange_.lock);
        exchange_.ask = ask;
        exchange_.title = title;
        exchange_.message = message;
        exchange_.answer.reset();
        exchange_.changed.wait(guard, [this] { return exchange_.answer.has_value(); });
        bool answer = *exchange_.answer;
        exchange_.ask = Exchange::Ask::None;
        return answer;
    }

    Exchange& exchange_;
};

}  // namespace

AnalysisResult BackgroundAnalysis::run(const Pass& pass, IAnalysisProgress* progress,
                                       IAnalysisDialogs* dialogs,
                                       const std::function<void()>& pump) {
    Exchange exchange;
    AnalysisResult result;
    std::thread worker([&] {
        WorkerProgress workerProgress(exchange);
        WorkerDialogs workerDialogs(exchange);
        AnalysisResult made = pass(&workerProgress, &workerDialogs);
        std::lock_guard<std::mutex> guard(exchange.lock);
        result = std::move(made);
        exchange.finished = true;
        exchange.changed.notify_all();
    });
    for (;;) {
        // Take what the worker left, then act on it without the lock.
        std::optional<std::pair<std::string, std::string>> begin;
        std::optional<std::pair<int, std::string>> update;
        bool end = false, finished = false;
        Exchange::Ask ask = Exchange::Ask::None;
        std::string title, message;
        int range = 100;
        {
            std::unique_lock<std::mutex> guard(exchange.lock);
            exchange.changed.wait_for(guard, std::chrono::milliseconds(20), [&exchange] {
                return exchange.finished || exchange.ask != Exchange::Ask::None;
            });
            begin.swap(exchange.begin);
            update.swap(exchange.update);
            std::swap(end, exchange.end);
            range = exchange.range;
            finished = exchange.finished;
            if (exchange.ask != Exchange::Ask::None && !exchange.answer) {
                ask = exchange.ask;
                title = exchange.title;
                message = exchange.message;
            }
        }
        if (progress != nullptr) {
            if (begin) {
                progress->begin(begin->first, begin->second, range);
            }
            if (update && !progress->update(update->first, update->second)) {
                std::lock_guard<std::mutex> guard(exchange.lock);
                exchange.cancelled = true;
            }
            if (end) {
                progress->end();
            }
        }
        if (ask != Exchange::Ask::None) {
            bool answer = true;
            if (dialogs != nullptr) {
                if (ask == Exchange::Ask::Error) {
                    dialogs->showError(title, message);
                } else {
                    answer = dialogs->askYesNo(title, message);
                }
            } else {
                answer = false;
            }
            std::lock_guard<std::mutex> guard(exchange.lock);
            exchange.answer = answer;
            exchange.changed.notify_all();
        }
        if (finished) {
            break;
        }
        if (pump) {
            pump();
        }
    }
    worker.join();
    return result;
}

AnalysisResult BackgroundAnalysis::analyse(const std::string& path, bool fromLiveCapture,
                                           ParsingOptions options, IAnalysisProgress* progress,
                                           IAnalysisDialogs* dialogs,
                                           const std::function<void()>& pump) {
    return run(
        [&](IAnalysisProgress* workerProgress, IAnalysisDialogs* workerDialogs) {
            return PacketAnalysisDriver(options, workerProgress, workerDialogs)
                .analyse(path, fromLiveCapture);
        },
        progress, dialogs, pump);
}

}  // namespace varlowe

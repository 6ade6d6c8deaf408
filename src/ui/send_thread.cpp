#include "ui/send_thread.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QMetaObject>
#include <QObject>

#include <atomic>
#include <exception>
#include <thread>

namespace sendrix::ui {

namespace {

class ForwardingObserver : public merge::SendObserver {
public:
    ForwardingObserver(QObject* context, merge::SendObserver& target)
        : m_context(context), m_target(target) {}

    void setStatusText(const std::string& text) override {
        onUiThread([&] { m_target.setStatusText(text); });
    }
    void addProtocolLine(const std::string& text) override {
        onUiThread([&] { m_target.addProtocolLine(text); });
    }
    void clearProtocol() override {
        onUiThread([&] { m_target.clearProtocol(); });
    }
    void showProtocolPage() override {
        onUiThread([&] { m_target.showProtocolPage(); });
    }
    void showProgress(int maximum) override {
        onUiThread([&] { m_target.showProgress(maximum); });
    }
    void setProgressPosition(int position) override {
        onUiThread([&] { m_target.setProgressPosition(position); });
    }
    void hideProgress() override {
        onUiThread([&] { m_target.hideProgress(); });
    }
    void setStagingText(const std::vector<std::string>& lines) override {
        onUiThread([&] { m_target.setStagingText(lines); });
    }
    void repaint(merge::SendView view) override {
        onUiThread([&] { m_target.repaint(view); });
    }
    void setProgressCount(int done, int total) override {
        onUiThread([&] { m_target.setProgressCount(done, total); });
    }
    void rowOutcome(const merge::RowResult& result) override {
        onUiThread([&] { m_target.rowOutcome(result); });
    }
    bool continueAfterRefusal(const std::string& question) override {
        bool goOn = false;
        onUiThread([&] { goOn = m_target.continueAfterRefusal(question); });
        return goOn;
    }
    bool stopRequested() override { return m_target.stopRequested(); }

private:
    // Blocks this thread until the user-interface thread has run `call`, so
    // the references it captures stay valid. An error raised there must not
    // cross the event loop: it is raised here instead.
    void onUiThread(const std::function<void()>& call) {
        std::exception_ptr error;
        QMetaObject::invokeMethod(
            m_context,
            [&] {
                try {
                    call();
                } catch (...) {
                    error = std::current_exception();
                }
            },
            Qt::BlockingQueuedConnection);
        if (error)
            std::rethrow_exception(error);
    }

    QObject* m_context;
    merge::SendObserver& m_target;
};

}  // namespace

void runOffThread(QObject* context, merge::SendObserver& observer,
                  const std::function<void(merge::SendObserver&)>& work) {
    ForwardingObserver forwarding(context, observer);
    std::exception_ptr error;
    std::atomic<bool> finished{false};
    std::thread worker([&] {
        try {
            work(forwarding);
        } catch (...) {
            error = std::current_exception();
        }
        finished = true;
        // Wakes the loop below, which may be waiting for an event.
        QMetaObject::invokeMethod(
            context, [] {}, Qt::QueuedConnection);
    });
    // Not a QEventLoop: once the application has been told to quit, a new
    // one ends at once, while the run may still be waiting for this thread.
    while (!finished)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    worker.join();
    if (error)
        std::rethrow_exception(error);
}

}  // namespace sendrix::ui

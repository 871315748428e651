#pragma once
// Copying out of the mounted volume from the window: the progress dialog
// "Saving the data please wait" over a CopyOut on its own thread, and the
// summary afterwards. Skip and Stop only set the copy-out's requests; the
// dialog closes when the copy-out has ended.

#include "browse/copy_out.h"
#include "shell/skinned_dialog.h"

#include <QThread>

#include <functional>
#include <memory>
#include <mutex>

class QLabel;
class QPushButton;

namespace dorvak {

class TextProgressBar;

class SavingDialog : public SkinnedDialog, private CopyProgressSink {
    Q_OBJECT
public:
    using Job = std::function<CopySummary(CopyProgressSink&, CopyRequests&)>;

    explicit SavingDialog(QWidget* parent = nullptr);
    ~SavingDialog() override;

    // Clears the requests, starts `job` on a worker and runs the dialog
    // until the job has ended; returns what the job returned.
    CopySummary run(Job job);
    // Starts without waiting (tests and shots drive the dialog themselves).
    void start(Job job);
    CopySummary summary() const { return summary_; }

    CopyRequests& requests() { return requests_; }
    QPushButton* skipButton() const { return skip_; }
    QPushButton* stopButton() const { return stop_; }
    QString pathText() const;
    QString fileText() const;
    QString totalText() const;

    void reject() override; // no close box, and Escape does not close it

Q_SIGNALS:
    void finished(); // the copy-out has ended and the dialog closed

private:
    void copyProgress(const CopyProgressEvent& event) override;
    void showEvent_(const CopyProgressEvent& event);

    CopyRequests requests_;
    CopySummary summary_;
    std::unique_ptr<QThread> thread_;
    QLabel* path_;
    QLabel* file_;
    QLabel* total_;
    TextProgressBar* bar_;
    QPushButton* skip_;
    QPushButton* stop_;
    std::mutex mutex_;
    CopyProgressEvent latest_;
    bool posted_ = false;
    std::chrono::steady_clock::time_point lastPost_{};
};

// The summary text: written, renamed, skipped, damaged and failed, and the
// long list of the damaged and failed files with their reasons.
struct SummaryText {
    QString text;
    QString more;
};
// The reason copy-out gives a file the Skip duplicate policy left alone.
inline constexpr const char* kSkippedByPolicyReason =
    "a file of that name exists at the destination";
// Whether the summary is an error: anything lost, stopped, or skipped for
// another reason than the duplicate policy.
bool summaryIsError(const CopySummary& s);
SummaryText summaryText(const CopySummary& summary, const QString& destination);

} // namespace dorvak

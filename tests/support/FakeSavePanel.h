#pragma once

#include "platform/SavePanel.h"

#include <QList>
#include <QPointer>
#include <QWidget>
#include <functional>

// Answers every panel with `answer` (nothing: the user dismissed it) and keeps the options and
// windows it was shown with; `whileShown`, when set, runs as if while the user chose, when files
// may change.
class FakeSavePanel : public platform::SavePanel {
public:
    QCoro::Task<std::optional<QUrl>> run(platform::SavePanelOptions options,
                                         QWidget *window) override
    {
        shown << options;
        windows << window;
        if (whileShown)
            whileShown();
        // A copy: GCC 12 moves from a member named in co_return.
        std::optional<QUrl> reply = answer;
        co_return reply;
    }

    std::optional<QUrl> answer;
    std::function<void()> whileShown;
    QList<platform::SavePanelOptions> shown;
    QList<QWidget *> windows;
};

#pragma once

#include "capture/FeedbackService.h"
#include "capture/OCRService.h"
#include "model/CaptureQueue.h"
#include "model/CaptureTestSupport.h"
#include "preview/PreviewWindow.h"
#include "preview/QuickLookPreviewController.h"
#include "preview/QuickLookPreviewView.h"
#include "support/FakeHaptics.h"
#include "support/FakeMoviePlayer.h"
#include "support/FakePasteboard.h"
#include "support/FakeSoundPlayer.h"
#include "support/FakeTextRecognizer.h"
#include "support/TempDirScope.h"
#include "tray/TrayNeighbours.h"

#include <QAbstractButton>
#include <QLabel>
#include <QPointer>
#include <gtest/gtest.h>

// The preview's view over a real controller, with doubles for the pins, the clipboard and text
// recognition; the opener's save, copy and delete are noted in `calls`.
class Pins final : public TrayPinning {
public:
    QCoro::Task<bool> pin(CaptureItem item) override
    {
        pinned.append(item.id());
        items.append(item);
        co_return true;
    }
    QList<QUuid> pinned;
    QList<CaptureItem> items;
};

// The preview of a real controller with a window that is a plain widget.
class PreviewHost final : public PreviewWindow {
public:
    void setFrame(const QRectF &, bool) override {}
    QRectF frame() const override { return {0, 0, 900, 640}; }
    void setContent(QWidget *view) override
    {
        delete m_view;
        m_view = view;
        if (view) {
            view->resize(1000, 640);
            view->show();
        }
    }
    void present() override {}
    bool isVisible() const override { return true; }
    bool holds(const QObject *object) const override
    {
        const auto *widget = qobject_cast<const QWidget *>(object);
        return m_view && widget && (widget == m_view || m_view->isAncestorOf(widget));
    }
    ~PreviewHost() override { delete m_view; }

private:
    QPointer<QWidget> m_view;
};

class PreviewViewTest : public ::testing::Test {
protected:
    PreviewViewTest()
        : controller([] { return std::make_unique<PreviewHost>(); },
                     [this](QuickLookPreviewController &owner) -> QWidget * {
                         view = new QuickLookPreviewView(owner, services);
                         return view;
                     },
                     {})
    {
        services.applicationQueue = &queue;
        services.ocr = &ocr;
        services.pasteboard = pasteboard;
        services.pinning = &pins;
        services.makePlayer = [this](const QUrl &url) {
            playerLog << QStringLiteral("open %1").arg(url.fileName());
            auto player = std::make_unique<FakeMoviePlayer>(playerLog);
            lastPlayer = player.get();
            return player;
        };
        screenshot = makeScreenshot(filledImage(2880, 1800, Qt::white));
        queue.enqueue(screenshot);
        waitForWrites();
    }

    void show(const CaptureItem &item)
    {
        controller.show(
            item, queue, [this](const CaptureItem &) { calls << "save"; },
            [this](const CaptureItem &c) {
                calls << "copy";
                copied << c;
                // As the program's copy marks it: busy, then waiting again once it is done.
                queue.markCopying(c.id());
                if (copiesEndAtOnce)
                    queue.markPending(c.id());
            },
            [this](const CaptureItem &c) {
                calls << "delete";
                queue.remove(c.id());
            });
    }

    QAbstractButton *button(const QString &name)
    {
        for (QAbstractButton *b : view->findChildren<QAbstractButton *>()) {
            if (b->accessibleName() == name && !b->isHidden())
                return b;
        }
        return nullptr;
    }

    QStringList labels()
    {
        QStringList texts;
        for (QLabel *label : view->findChildren<QLabel *>())
            texts << label->text();
        return texts;
    }

    TempDirScope temp;
    CaptureQueue queue{10};
    std::shared_ptr<FakeTextRecognizer> recognizer = std::make_shared<FakeTextRecognizer>();
    std::shared_ptr<FakePasteboard> pasteboard = std::make_shared<FakePasteboard>();
    FeedbackService feedback{std::make_shared<FakeSoundPlayer>(), std::make_shared<FakeHaptics>()};
    OCRService ocr{recognizer, pasteboard, feedback};
    Pins pins;
    PreviewServices services;
    QuickLookPreviewView *view = nullptr;
    QuickLookPreviewController controller;
    CaptureItem screenshot{makeScreenshot(filledImage(4, 4, Qt::white))};
    QStringList calls;
    QList<CaptureItem> copied;
    bool copiesEndAtOnce = true;
    QStringList playerLog;
    FakeMoviePlayer *lastPlayer = nullptr;
};

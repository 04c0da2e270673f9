#pragma once

#include <QMimeData>
#include <QMutex>
#include <QString>
#include <QUrl>
#include <functional>
#include <memory>

// The data a dragged capture carries: its drag file's URL (text/uri-list).
// The first time a drop target asks for the data, of any type and on any
// thread, onConsumed is called once on the main thread; the request itself
// is answered at once.
class CaptureItemProvider : public QMimeData {
    Q_OBJECT

public:
    explicit CaptureItemProvider(const QUrl &fileURL);

    // The name the dropped file should get (the capture's file name, without
    // the drag copy's prefix).
    QString suggestedName() const { return m_suggestedName; }
    void setSuggestedName(const QString &name) { m_suggestedName = name; }

    // Read when the call is delivered, so it may be set after the provider is
    // handed out. Main thread only.
    void setOnConsumed(std::function<void()> onConsumed);
    bool hasConsumed() const;

protected:
    QVariant retrieveData(const QString &mimeType, QMetaType preferredType) const override;

private:
    // Shared with the delivery queued to the main thread, so that the call
    // still happens when the drag machinery has already dropped the provider.
    struct Consumption {
        QMutex lock; // requests may arrive on any thread
        bool hasConsumed = false;
        std::function<void()> onConsumed;
    };

    void markConsumed() const;

    std::shared_ptr<Consumption> m_consumption = std::make_shared<Consumption>();
    QString m_suggestedName;
};

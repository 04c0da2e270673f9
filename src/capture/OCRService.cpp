#include "capture/OCRService.h"

#include "capture/FeedbackService.h"
#include "model/SettingsStore.h"
#include "platform/Pasteboard.h"
#include "platform/TextRecognizer.h"

#include <QCoreApplication>
#include <QThread>
#include <QtConcurrent/QtConcurrentRun>
#include <qcoro/qcorofuture.h>
#include <variant>

namespace {

// Two recognitions may run side by side; an engine costs memory, so not more.
constexpr int recognitionThreads = 2;
// An idle thread (and its engine) goes after a minute.
constexpr int idleThreadExpiryMs = 60 * 1000;

} // namespace

OCRError::OCRError(Kind kind, const QString &message) : m_kind(kind), m_message(message)
{
    m_what = errorDescription().toStdString();
}

QString OCRError::errorDescription() const
{
    switch (m_kind) {
    case Kind::recognitionFailed:
        return QStringLiteral("Text recognition failed: ") + m_message;
    case Kind::noTextFound:
        return QStringLiteral("No readable text was found in the image.");
    }
    return {};
}

OCRService::OCRService(std::shared_ptr<platform::TextRecognizer> recognizer,
                       std::shared_ptr<platform::Pasteboard> pasteboard, FeedbackService &feedback)
    : m_recognizer(std::move(recognizer)), m_pasteboard(std::move(pasteboard)), m_feedback(feedback)
{
    m_pool.setMaxThreadCount(recognitionThreads);
    m_pool.setExpiryTimeout(idleThreadExpiryMs);
}

OCRService::~OCRService()
{
    m_pool.waitForDone();
}

QString OCRService::recognizeText(const QImage &image) const
{
    Q_ASSERT(QCoreApplication::instance() == nullptr ||
             QThread::currentThread() != QCoreApplication::instance()->thread());
    const platform::TextRecognizer::Result result = m_recognizer->recognize(image);
    if (!result.error.isEmpty())
        throw OCRError::recognitionFailed(result.error);
    QStringList lines;
    for (const std::optional<QString> &region : result.regions) {
        if (region)
            lines << *region;
    }
    QString text = lines.join(QLatin1Char('\n'));
    if (text.trimmed().isEmpty())
        throw OCRError::noTextFound();
    return text;
}

QCoro::Task<QString> OCRService::recognizeTextInBackground(QImage image)
{
    // An exception must not cross the thread pool: it travels back as a value.
    using Outcome = std::variant<QString, OCRError>;
    // Started in a statement of its own: GCC 12 may destroy temporaries of a co_await
    // expression twice.
    QFuture<Outcome> recognition = QtConcurrent::run(&m_pool, [this, image]() -> Outcome {
        try {
            return recognizeText(image);
        } catch (const OCRError &error) {
            return error;
        }
    });
    const Outcome outcome = co_await recognition;
    if (const auto *error = std::get_if<OCRError>(&outcome))
        throw *error;
    co_return std::get<QString>(outcome);
}

QCoro::Task<bool> OCRService::containsText(QImage image)
{
    try {
        QCoro::Task<QString> recognition = recognizeTextInBackground(image);
        const QString text = co_await recognition;
        co_return !text.trimmed().isEmpty();
    } catch (...) {
        co_return false;
    }
}

QCoro::Task<QString> OCRService::copyText(QImage image, const SettingsStore &settings)
{
    QCoro::Task<QString> recognition = recognizeTextInBackground(image);
    const QString text = co_await recognition;
    m_pasteboard->clearContents();
    m_pasteboard->setString(text);
    m_feedback.playCopied(settings.soundEffectsEnabled(), true);
    co_return text;
}

#include "capture/OCRService.h"

#include "capture/FeedbackService.h"
#include "model/CaptureErrors.h"
#include "model/SettingsStore.h"
#include "platform/Background.h"
#include "platform/Log.h"
#include "platform/Pasteboard.h"
#include "platform/TextRecognizer.h"

#include <QCoreApplication>
#include <QThread>
#include <qcoro/qcorofuture.h>
#include <variant>

namespace {

QString recognize(platform::TextRecognizer &recognizer, const QImage &image)
{
    Q_ASSERT(QCoreApplication::instance() == nullptr ||
             QThread::currentThread() != QCoreApplication::instance()->thread());
    const platform::TextRecognizer::Result result = recognizer.recognize(image);
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
}

QString OCRService::recognizeText(const QImage &image) const
{
    return recognize(*m_recognizer, image);
}

QCoro::Task<QString> OCRService::recognizeTextInBackground(QImage image)
{
    // An exception must not cross threads: it travels back as a value.
    using Outcome = std::variant<QString, OCRError>;
    // Started in a statement of its own: GCC 12 may destroy temporaries of a co_await
    // expression twice.
    // The recognizer, not the service, goes with the work: the service may go first.
    QFuture<Outcome> recognition =
        platform::runInBackground([recognizer = m_recognizer, image]() -> Outcome {
            try {
                return recognize(*recognizer, image);
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
        QCoro::Task<QString> recognition = recognizeTextInBackground(std::move(image));
        const QString text = co_await recognition;
        co_return !text.trimmed().isEmpty();
    } catch (...) {
        co_return false;
    }
}

std::function<bool()> OCRService::takeClipboardTurn()
{
    return m_pasteboard->takeTurn();
}

QCoro::Task<std::optional<QString>>
OCRService::copyText(QImage image, const SettingsStore &settings, std::function<bool()> isLatest)
{
    if (!isLatest)
        isLatest = m_pasteboard->takeTurn();
    QCoro::Task<QString> recognition = recognizeTextInBackground(image);
    const QString text = co_await recognition;
    if (!isLatest())
        co_return std::nullopt;
    // The text replaces the contents in one step: a paste in between never finds them empty.
    if (!m_pasteboard->setString(text)) {
        qCCritical(Log::exportLog, "The clipboard did not take the text");
        throw CaptureActionError::copyFailed(QStringLiteral("the clipboard did not take it"));
    }
    m_feedback.playCopied(settings.soundEffectsEnabled(), true);
    co_return text;
}

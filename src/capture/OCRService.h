#pragma once

#include <QImage>
#include <QString>
#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <qcoro/qcorotask.h>
#include <string>

class FeedbackService;
class SettingsStore;
namespace platform {
class Pasteboard;
class TextRecognizer;
} // namespace platform

// Why no text came out of an image.
class OCRError : public std::exception {
public:
    enum class Kind { recognitionFailed, noTextFound };

    static OCRError recognitionFailed(const QString &message)
    {
        return {Kind::recognitionFailed, message};
    }
    static OCRError noTextFound() { return {Kind::noTextFound, {}}; }

    Kind kind() const { return m_kind; }
    QString message() const { return m_message; }
    QString errorDescription() const;
    const char *what() const noexcept override { return m_what.c_str(); }

    bool operator==(const OCRError &other) const
    {
        return m_kind == other.m_kind && m_message == other.m_message;
    }

private:
    OCRError(Kind kind, const QString &message);

    Kind m_kind;
    QString m_message;
    std::string m_what;
};

// Reads the text of a captured image: one line of the result per text region the recognizer
// found, in its reading order. Recognition runs on a background thread, so a long one never
// holds up the interface.
class OCRService final {
public:
    // feedback: what copyText() sounds and taps with.
    OCRService(std::shared_ptr<platform::TextRecognizer> recognizer,
               std::shared_ptr<platform::Pasteboard> pasteboard, FeedbackService &feedback);

    // Recognises on the calling thread, which must not be the main thread. Throws OCRError:
    // recognitionFailed when the recognizer failed, noTextFound when nothing but blanks (or
    // nothing at all) was read. The text is returned as read, untrimmed.
    QString recognizeText(const QImage &image) const;
    // recognizeText() on a worker thread, awaited from the main thread; errors pass through.
    QCoro::Task<QString> recognizeTextInBackground(QImage image);
    // Whether the image holds any text that is more than blanks; a failed recognition counts
    // as none.
    QCoro::Task<bool> containsText(QImage image);
    // Counts a text copy asked for now as the clipboard's latest write (see
    // Pasteboard::takeTurn), for a copyText() whose picture is still to come.
    std::function<bool()> takeClipboardTurn();
    // Recognises, then puts the text on the clipboard in place of its contents and gives the
    // copy feedback: the sound when sound effects are on, the tap always. On failure the
    // clipboard is untouched and the error passes through: OCRError, or CaptureActionError
    // (copyFailed) when the clipboard refused the text. Nothing, untouched and silent, when a
    // copy asked for after isLatest's turn (by default taken now) overtook it.
    QCoro::Task<std::optional<QString>> copyText(QImage image, const SettingsStore &settings,
                                                 std::function<bool()> isLatest = {});

private:
    std::shared_ptr<platform::TextRecognizer> m_recognizer;
    std::shared_ptr<platform::Pasteboard> m_pasteboard;
    FeedbackService &m_feedback;
};

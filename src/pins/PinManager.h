#pragma once

#include "capture/CaptureNeighbours.h"
#include "pins/PinItem.h"
#include "pins/PinStackWindowController.h"

#include <QList>
#include <QObject>
#include <functional>
#include <memory>
#include <optional>

class CaptureItem;
class PinWindowController;
class SettingsStore;

// The one entry point of desktop pins: the tray's pin button and key, the preview's "Pin to
// Screen" and the auto-pinner hand their pins here, and the deck is made on the first pin and
// kept for the rest of the run. Also keeps the floating pin windows that are open. Every
// removal of a single pin announces "Corvanta.PinItemDeleted" (so its capture leaves the
// tray); closing everything announces nothing. Main thread only; the program has one, made by
// the application environment.
class PinManager final : public QObject, public TrayPinning {
    Q_OBJECT

public:
    // The deck reads `settings`, which must outlive the manager.
    PinManager(SettingsStore &settings, PinDeckServices services, QObject *parent = nullptr);
    ~PinManager() override;

    SettingsStore &settings() const { return m_settings; }
    PinStackWindowController *stackController() const { return m_stackController.get(); }
    const QList<std::shared_ptr<PinWindowController>> &activePins() const { return m_activePins; }
    // For whoever opens a floating pin: lists it, so that the manager closes it and later
    // windows cascade below it.
    void addActivePin(std::shared_ptr<PinWindowController> controller);
    // The heights of the floating pins listed before the window (all of them when it is not
    // listed): what it cascades after.
    QList<double> earlierHeights(const PinWindowController *controller) const;

    // The tray's pin: the capture goes to the front of the deck, unless its picture does not
    // decode (off the main thread) or the capture left the tray meanwhile. The decoded picture
    // makes the card, so the deck reads no file to show it.
    QCoro::Task<bool> pin(CaptureItem item) override;
    // Whether a capture is still staged; without it, every capture counts as staged.
    void setStagedCheck(std::function<bool(const QUuid &id)> isStaged)
    {
        m_isStaged = std::move(isStaged);
    }

    // Puts the pin at the front of the deck, making the deck on the first pin. Shows the deck
    // when it has no panel.
    void addToStack(const PinItemPtr &item);
    // Announces the identifier's removal, closes its first floating window and takes its pins
    // off the deck.
    void unpin(const QUuid &id);
    // Every pin of the capture (same identifier, on the deck and in floating windows) takes the
    // capture as it is now, its image included; pins of other captures are left alone.
    void updateCapture(const CaptureItem &capture);
    // Closes every floating window and the deck, announcing nothing: the captures stay staged.
    void closeAll();
    // Announces the window's pin's removal, closes the window and unlists it.
    void remove(PinWindowController *controller);

    void pinCapture(const CaptureItem &capture, const QImage &cardPicture = {});
    // Each of these makes a new pin with an identifier of its own: an image pin titled `title`
    // ("Pinned Image" without one), a file pin or a recording pin with its poster, both titled
    // by the file's name.
    void pinImage(const QImage &image, std::optional<QString> title = std::nullopt);
    void pinFile(const QUrl &url);
    void pinVideo(const QUrl &url, std::optional<QImage> thumbnail = std::nullopt);

signals:
    void activePinsChanged();

private:
    void unlist(PinWindowController *controller);

    SettingsStore &m_settings;
    PinDeckServices m_services;
    std::unique_ptr<PinStackWindowController> m_stackController;
    QList<std::shared_ptr<PinWindowController>> m_activePins;
    std::function<bool(const QUuid &id)> m_isStaged;
};

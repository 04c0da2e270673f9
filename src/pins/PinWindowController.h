#pragma once

#include "pins/PinActions.h"
#include "pins/PinItem.h"
#include "pins/PinWindowModel.h"

#include <QImage>
#include <QList>
#include <QMetaObject>
#include <QObject>
#include <QPointer>
#include <QRectF>
#include <QSizeF>
#include <QTimer>
#include <QVariantAnimation>
#include <functional>
#include <memory>
#include <optional>

class PinContentView;
class PinWindowController;
class SettingsStore;

namespace platform {
class Compositor;
class Displays;
class PanelWindows;
class WindowFade;
class WindowMove;
struct Display;
} // namespace platform

struct PinWindowServices {
    std::shared_ptr<platform::Displays> displays;
    std::shared_ptr<platform::PanelWindows> panels;
    std::shared_ptr<platform::Compositor> compositor;
    PinActionServices actions;
    // The heights of the floating pins listed before this one (all listed ones when it is not
    // listed), which it is placed after; none: it is the first.
    std::function<QList<double>(const PinWindowController *)> earlierHeights;
};

// One pin in a window of its own: a borderless panel above normal windows, as large as the
// picture fitted to the pin size, in the settings' corner of the chosen display, below the
// floating pins opened before it. Follows the pin settings while open, turns faint in ghost mode
// (the window still takes clicks), may close itself after the auto-close delay, and fades in and
// out. Nothing in the program opens one yet; whoever does lists it with the manager first, which
// then answers its view's close request (closeRequested). Main thread only.
class PinWindowController final : public PinWindowModel {
    Q_OBJECT

public:
    PinWindowController(PinItemPtr item, SettingsStore &settings,
                        std::function<void(PinWindowController *)> onClose,
                        PinWindowServices services, QObject *parent = nullptr);
    ~PinWindowController() override;

    const PinItemPtr &item() const override { return m_item; }
    SettingsStore &settings() const override { return m_settings; }
    QWidget *window() const;
    QImage displayImage() const override { return m_displayImage; }
    QSizeF displaySize() const { return m_displaySize; }
    double opacity() const override { return m_opacity; }
    double pictureOpacity() const override { return m_pictureOpacity; }
    bool isGhostMode() const override { return m_isGhostMode; }
    bool isAutoClosePending() const { return m_autoClose.isActive(); }
    PinActions &actions() override { return m_actions; }

    // Makes the panel when there is none, fades it in and (re)starts the automatic close.
    void show();
    // Stops the automatic close, fades out, then orders the window out and reports onClose.
    void teardown();
    void toggleGhostMode() override;
    // Asks the owner to close the window (closeRequested); without one, closes it.
    void requestClose() override;
    // Shows and acts on a new version of the same pin (its capture's image was replaced).
    void replaceItem(PinItemPtr item);
    // Follows changed settings while shown: new size, place, opacity and ghost mode.
    void applySettings();

    // The fitted size of the item for a largest side and a display scale.
    QSizeF fitSize(double maxSide, double scale) const;
    // The window's frame (screen coordinates) on a display with a scale; none: 400 × 300 at
    // (200, 200).
    QRectF frame(const std::optional<platform::Display> &screen, double scale) const;
    std::optional<platform::Display> targetScreen() const;

signals:
    void closeRequested();

private:
    void finishClose();
    // Shows the item's picture: a stand-in at once when it lives on disk, then the picture.
    void showPreview();
    void setPreview(const QImage &preview);
    void scheduleAutoClose();
    void applyOpacityDefaults();
    static QImage makeDisplayImage(const QImage &preview, QSizeF size, double scale);
    double scaleOf(const std::optional<platform::Display> &screen) const;

    PinItemPtr m_item;
    SettingsStore &m_settings;
    std::function<void(PinWindowController *)> m_onClose;
    PinWindowServices m_services;
    PinActions m_actions;
    QPointer<PinContentView> m_window;
    std::unique_ptr<platform::WindowFade> m_fade;
    std::unique_ptr<platform::WindowMove> m_move;
    QImage m_preview;
    QImage m_displayImage;
    QSizeF m_displaySize;
    QTimer m_autoClose;
    double m_opacity = 1.0;
    double m_pictureOpacity = 1.0;
    // The picture's way to a toggled ghost mode's opacity.
    QVariantAnimation m_ghostFade;
    bool m_isGhostMode = false;
    QList<QMetaObject::Connection> m_subscriptions;
};

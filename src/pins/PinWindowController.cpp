#include "pins/PinWindowController.h"

#include "model/SettingsStore.h"
#include "pins/PinContentView.h"
#include "pins/PinGeometry.h"
#include "platform/Background.h"
#include "platform/Displays.h"
#include "platform/PanelWindows.h"
#include "platform/WindowFade.h"
#include "platform/WindowMove.h"

#include <QMetaMethod>
#include <QPainter>
#include <cmath>

namespace {

constexpr double ghostOpacity = 0.45;
constexpr int ghostFadeMs = 200;

} // namespace

PinWindowController::PinWindowController(PinItemPtr item, SettingsStore &settings,
                                         std::function<void(PinWindowController *)> onClose,
                                         PinWindowServices services, QObject *parent)
    : PinWindowModel(parent), m_item(std::move(item)), m_settings(settings),
      m_onClose(std::move(onClose)), m_services(std::move(services)), m_actions(m_services.actions)
{
    m_autoClose.setSingleShot(true);
    m_ghostFade.setDuration(ghostFadeMs);
    m_ghostFade.setEasingCurve(QEasingCurve::InOutQuad);
    connect(&m_ghostFade, &QVariantAnimation::valueChanged, this, [this](const QVariant &value) {
        m_pictureOpacity = value.toDouble();
        emit changed();
    });
    // The fade ends exactly on the opacity, whatever the last step's rounding.
    connect(&m_ghostFade, &QVariantAnimation::finished, this, [this] {
        m_pictureOpacity = m_opacity;
        emit changed();
    });
    connect(&m_autoClose, &QTimer::timeout, this, &PinWindowController::teardown);
    showPreview();
    applyOpacityDefaults();

    const auto redraw = [this] { emit changed(); };
    for (const auto signal :
         {&SettingsStore::pinCornerRadiusChanged, &SettingsStore::pinBorderWidthChanged})
        m_subscriptions << connect(&m_settings, signal, this, redraw);
    m_subscriptions << connect(&m_settings, &SettingsStore::pinBorderColorChanged, this, redraw);
    m_subscriptions << connect(&m_settings, &SettingsStore::accentThemeChanged, this, redraw);
    const auto apply = [this] { applySettings(); };
    for (const auto signal : {&SettingsStore::pinSizeChanged, &SettingsStore::pinPaddingChanged,
                              &SettingsStore::pinDefaultOpacityChanged})
        m_subscriptions << connect(&m_settings, signal, this, apply);
    m_subscriptions << connect(&m_settings, &SettingsStore::pinPlacementChanged, this, apply);
    m_subscriptions << connect(&m_settings, &SettingsStore::pinTargetDisplayChanged, this, apply);
    m_subscriptions << connect(&m_settings, &SettingsStore::pinDefaultGhostModeChanged, this,
                               apply);
}

PinWindowController::~PinWindowController()
{
    for (const QMetaObject::Connection &subscription : std::as_const(m_subscriptions))
        disconnect(subscription);
    m_fade.reset();
    m_move.reset();
    delete m_window.data();
}

QWidget *PinWindowController::window() const
{
    return m_window.data();
}

double PinWindowController::scaleOf(const std::optional<platform::Display> &screen) const
{
    return screen && screen->scale > 0.0 ? screen->scale : 2.0;
}

void PinWindowController::applyOpacityDefaults()
{
    m_isGhostMode = m_settings.pinDefaultGhostMode();
    m_opacity = m_isGhostMode ? ghostOpacity : usablePinOpacity(m_settings.pinDefaultOpacity());
    m_ghostFade.stop();
    m_pictureOpacity = m_opacity;
}

QSizeF PinWindowController::fitSize(double maxSide, double scale) const
{
    std::optional<QSizeF> preview;
    if (!m_preview.isNull())
        preview = QSizeF(m_preview.size());
    return PinGeometry::fitSize(preview, maxSide, scale);
}

QImage PinWindowController::makeDisplayImage(const QImage &preview, QSizeF size, double scale)
{
    if (preview.isNull() || !(size.width() > 0) || !(size.height() > 0) || !(scale > 0))
        return {};
    const double aspect = double(preview.width()) / std::max(preview.height(), 1);
    double pw = 0;
    double ph = 0;
    if (size.width() / size.height() < aspect) {
        pw = size.width() * scale;
        ph = pw / aspect;
    } else {
        ph = size.height() * scale;
        pw = ph * aspect;
    }
    if (pw < 1 || ph < 1)
        return {};
    QImage image =
        preview.scaled(QSize(int(pw), int(ph)), Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    image.setDevicePixelRatio(scale);
    return image;
}

std::optional<platform::Display> PinWindowController::targetScreen() const
{
    if (!m_services.displays)
        return std::nullopt;
    if (m_settings.pinTargetDisplay() == PinTargetDisplay::mainScreen)
        return m_services.displays->mainDisplay();
    return m_services.displays->displayUnderPointer();
}

QRectF PinWindowController::frame(const std::optional<platform::Display> &screen,
                                  double scale) const
{
    std::optional<QRectF> visible;
    if (screen) {
        visible = m_services.panels ? m_services.panels->visibleFrame(*screen) : std::nullopt;
        if (!visible)
            visible = screen->screenFrame;
    }
    const QList<double> earlier =
        m_services.earlierHeights ? m_services.earlierHeights(this) : QList<double>();
    return PinGeometry::floatingFrame(visible, fitSize(usablePinSize(m_settings.pinSize()), scale),
                                      usablePinPadding(m_settings.pinPadding()),
                                      m_settings.pinPlacement(), earlier);
}

void PinWindowController::show()
{
    const std::optional<platform::Display> screen = targetScreen();
    const double scale = scaleOf(screen);
    if (!m_window) {
        auto *view = new PinContentView(*this);
        view->setWindowFlags(platform::PanelWindows::windowFlags());
        view->setAttribute(Qt::WA_ShowWithoutActivating);
        if (m_services.panels)
            m_services.panels->prepare(view, platform::PanelLevel::floating);
        const QList<platform::Display> displays =
            m_services.displays ? m_services.displays->displays() : QList<platform::Display>();
        view->setGeometry(PinGeometry::qtGeometry(frame(screen, scale), displays));
        m_window = view;
        m_fade = std::make_unique<platform::WindowFade>(view, m_services.compositor.get());
        m_move = std::make_unique<platform::WindowMove>(view);
    }
    m_fade->setOpacity(0.0);
    m_window->show();
    m_window->raise();
    m_fade->fadeTo(1.0, 200, platform::WindowFade::Curve::easeInOut);
    scheduleAutoClose();
}

void PinWindowController::scheduleAutoClose()
{
    m_autoClose.stop();
    const double delay = usablePinAutoCloseDelay(m_settings.pinAutoCloseDelay());
    if (delay > 0.0)
        m_autoClose.start(int(delay * 1000.0));
}

void PinWindowController::teardown()
{
    m_autoClose.stop();
    if (!m_window || !m_fade) {
        finishClose();
        return;
    }
    QPointer<PinWindowController> self(this);
    m_fade->fadeTo(0.0, 150, platform::WindowFade::Curve::easeInOut, [self] {
        if (self)
            QMetaObject::invokeMethod(
                self.data(),
                [self] {
                    if (self)
                        self->finishClose();
                },
                Qt::QueuedConnection);
    });
}

void PinWindowController::finishClose()
{
    if (m_window) {
        PinContentView *view = m_window;
        m_window.clear();
        m_fade.reset();
        m_move.reset();
        view->hide();
        view->deleteLater();
    }
    if (m_onClose)
        m_onClose(this);
}

void PinWindowController::toggleGhostMode()
{
    m_isGhostMode = !m_isGhostMode;
    m_opacity = m_isGhostMode ? ghostOpacity : usablePinOpacity(m_settings.pinDefaultOpacity());
    // From where the picture is drawn now, so a second toggle mid-fade turns back smoothly.
    m_ghostFade.stop();
    m_ghostFade.setStartValue(m_pictureOpacity);
    m_ghostFade.setEndValue(m_opacity);
    m_ghostFade.start();
    emit changed();
}

void PinWindowController::requestClose()
{
    if (isSignalConnected(QMetaMethod::fromSignal(&PinWindowController::closeRequested)))
        emit closeRequested();
    else
        teardown();
}

void PinWindowController::replaceItem(PinItemPtr item)
{
    if (!item)
        return;
    m_item = std::move(item);
    showPreview();
}

void PinWindowController::showPreview()
{
    setPreview(m_item ? m_item->previewStandIn() : QImage());
    // A picture that lives on disk is decoded away from this thread, as the deck's cards are.
    if (m_item && m_item->needsPreviewImage()) {
        platform::deliverTo(this, m_item->loadPreviewImage(),
                            [this, item = m_item](const QImage &picture) {
                                if (item == m_item && !picture.isNull())
                                    setPreview(picture);
                            });
    }
}

void PinWindowController::setPreview(const QImage &preview)
{
    m_preview = preview;
    const std::optional<platform::Display> screen =
        m_window ? targetScreen()
                 : (m_services.displays ? m_services.displays->mainDisplay() : std::nullopt);
    const double scale = scaleOf(screen);
    m_displaySize = fitSize(usablePinSize(m_settings.pinSize()), scale);
    m_displayImage = makeDisplayImage(m_preview, m_displaySize, scale);
    emit changed();
}

void PinWindowController::applySettings()
{
    if (!m_window)
        return;
    const std::optional<platform::Display> screen = targetScreen();
    const double scale = scaleOf(screen);
    const QSizeF size = fitSize(usablePinSize(m_settings.pinSize()), scale);
    if (std::abs(size.width() - m_displaySize.width()) > 0.5 ||
        std::abs(size.height() - m_displaySize.height()) > 0.5) {
        m_displaySize = size;
        if (const QImage image = makeDisplayImage(m_preview, size, scale); !image.isNull())
            m_displayImage = image;
    }
    const QList<platform::Display> displays =
        m_services.displays ? m_services.displays->displays() : QList<platform::Display>();
    m_move->moveTo(PinGeometry::qtGeometry(frame(screen, scale), displays), true);
    applyOpacityDefaults();
    emit changed();
}

#include "pins/PinManager.h"

#include "model/CaptureItem.h"
#include "model/PinNotifications.h"
#include "model/SettingsStore.h"
#include "pins/PinCardDrawing.h"
#include "pins/PinGeometry.h"
#include "pins/PinWindowController.h"
#include "platform/Background.h"

#include <QGuiApplication>
#include <QPointer>
#include <QScreen>
#include <algorithm>
#include <qcoro/qcorofuture.h>

PinManager::PinManager(SettingsStore &settings, PinDeckServices services, QObject *parent)
    : QObject(parent), m_settings(settings), m_services(std::move(services))
{
}

PinManager::~PinManager()
{
    m_stackController.reset();
    m_activePins.clear();
}

void PinManager::addActivePin(std::shared_ptr<PinWindowController> controller)
{
    if (!controller)
        return;
    PinWindowController *window = controller.get();
    connect(window, &PinWindowController::closeRequested, this, [this, window] { remove(window); });
    m_activePins.append(std::move(controller));
    emit activePinsChanged();
}

QList<double> PinManager::earlierHeights(const PinWindowController *controller) const
{
    QList<double> heights;
    for (const std::shared_ptr<PinWindowController> &other : m_activePins) {
        if (other.get() == controller)
            break;
        heights.append(other->displaySize().height());
    }
    return heights;
}

QCoro::Task<bool> PinManager::pin(CaptureItem item)
{
    const QPointer<PinManager> self(this);
    // The card is cut from the picture (a recording's poster) decoded here, for the deck's cards
    // at their size on the sharpest screen, away from the main thread.
    double dpr = 1.0;
    for (const QScreen *screen : QGuiApplication::screens())
        dpr = std::max(dpr, screen->devicePixelRatio());
    const QSize pixels = PinCardDrawing::devicePixels(
        PinGeometry::deckConfig(m_settings.pinSize(), std::nullopt).itemSize, dpr);
    QFuture<QImage> cutting = platform::runInBackground([item, pixels] {
        const QImage picture = item.loadImage().result();
        return picture.isNull() ? QImage() : PinCardDrawing::coverImage(picture, pixels);
    });
    const QImage card = co_await cutting;
    // A screenshot would be blank; a recording without its poster shows its movie's icon.
    if (!self || (card.isNull() && !item.isVideo()))
        co_return false;
    // A capture deleted while its picture was decoded leaves no pin behind.
    if (!self || (m_isStaged && !m_isStaged(item.id())))
        co_return false;
    pinCapture(item, card);
    co_return true;
}

void PinManager::addToStack(const PinItemPtr &item)
{
    if (!item)
        return;
    if (!m_stackController)
        m_stackController = std::make_unique<PinStackWindowController>(m_settings, m_services);
    m_stackController->insertAtFront(item);
    if (!m_stackController->window())
        m_stackController->show();
}

void PinManager::unpin(const QUuid &id)
{
    if (m_services.notifications)
        m_services.notifications->postPinItemDeleted(id);
    for (const std::shared_ptr<PinWindowController> &controller : std::as_const(m_activePins)) {
        if (controller->item()->id() == id) {
            const std::shared_ptr<PinWindowController> kept = controller;
            kept->teardown();
            unlist(kept.get());
            break;
        }
    }
    if (!m_stackController)
        return;
    for (const PinItemPtr &item : m_stackController->items()) {
        if (item->id() == id) {
            const PinItemPtr kept = item;
            m_stackController->remove(kept);
            break;
        }
    }
}

void PinManager::updateCapture(const CaptureItem &capture)
{
    const PinItemPtr item = PinItem::fromCapture(capture);
    for (const std::shared_ptr<PinWindowController> &controller : std::as_const(m_activePins)) {
        if (controller->item()->id() == item->id())
            controller->replaceItem(item);
    }
    if (m_stackController)
        m_stackController->replaceAll(item);
}

void PinManager::closeAll()
{
    const QList<std::shared_ptr<PinWindowController>> snapshot = m_activePins;
    for (const std::shared_ptr<PinWindowController> &controller : snapshot)
        controller->teardown();
    if (!m_activePins.isEmpty()) {
        m_activePins.clear();
        emit activePinsChanged();
    }
    if (m_stackController)
        m_stackController->closeAll();
}

void PinManager::remove(PinWindowController *controller)
{
    if (!controller)
        return;
    if (m_services.notifications)
        m_services.notifications->postPinItemDeleted(controller->item()->id());
    controller->teardown();
    unlist(controller);
}

void PinManager::unlist(PinWindowController *controller)
{
    disconnect(controller, &PinWindowController::closeRequested, this, nullptr);
    const qsizetype removed =
        m_activePins.removeIf([controller](const std::shared_ptr<PinWindowController> &entry) {
            return entry.get() == controller;
        });
    if (removed > 0)
        emit activePinsChanged();
}

void PinManager::pinCapture(const CaptureItem &capture, const QImage &cardPicture)
{
    addToStack(PinItem::fromCapture(capture, cardPicture));
}

void PinManager::pinImage(const QImage &image, std::optional<QString> title)
{
    addToStack(std::make_shared<const PinItem>(PinContent::makeImage(image), std::move(title)));
}

void PinManager::pinFile(const QUrl &url)
{
    addToStack(std::make_shared<const PinItem>(PinContent::makeFile(url)));
}

void PinManager::pinVideo(const QUrl &url, std::optional<QImage> thumbnail)
{
    addToStack(std::make_shared<const PinItem>(PinContent::makeVideo(url, std::move(thumbnail))));
}

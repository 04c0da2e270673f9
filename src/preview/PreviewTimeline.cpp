#include "preview/PreviewTimeline.h"

#include "platform/MoviePlayer.h"
#include "preview/PreviewControls.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QSlider>

namespace {

QLabel *timeLabel(const QString &name)
{
    auto *label = new QLabel(PreviewTimeline::timeText(0));
    label->setObjectName(name);
    label->setFont(previewFont(11, QFont::Medium));
    label->setStyleSheet(QStringLiteral("color: rgba(255, 255, 255, 217);"));
    label->setMinimumWidth(
        QFontMetrics(label->font()).horizontalAdvance(QStringLiteral("00:00:00")));
    label->setAlignment(Qt::AlignCenter);
    return label;
}

} // namespace

PreviewTimeline::PreviewTimeline(QWidget *parent) : QWidget(parent)
{
    auto *row = new QHBoxLayout(this);
    row->setContentsMargins(16, 0, 16, 8);
    row->setSpacing(10);
    m_elapsed = timeLabel(QStringLiteral("elapsedTime"));
    m_seekBar = new QSlider(Qt::Horizontal);
    m_seekBar->setObjectName(QStringLiteral("seekBar"));
    m_seekBar->setToolTip(QStringLiteral("Drag to move through the recording"));
    m_seekBar->setFocusPolicy(Qt::NoFocus);
    m_seekBar->setRange(0, 0);
    m_seekBar->setStyleSheet(QStringLiteral(
        "QSlider::groove:horizontal { height: 4px; border-radius: 2px;"
        " background: rgba(255, 255, 255, 46); }"
        "QSlider::sub-page:horizontal { border-radius: 2px; background: rgba(255, 255, 255, 217); }"
        "QSlider::handle:horizontal { width: 12px; height: 12px; margin: -4px 0;"
        " border-radius: 6px; background: white; }"));
    m_total = timeLabel(QStringLiteral("totalTime"));
    PlateButton::Look look;
    look.symbol = QStringLiteral("speaker.wave.2.fill");
    look.fixedSize = QSize(26, 26);
    m_mute = new PlateButton(look);
    m_mute->setObjectName(QStringLiteral("muteButton"));
    m_mute->setToolTip(QStringLiteral("Mute"));
    m_failure = new QLabel;
    m_failure->setObjectName(QStringLiteral("playbackFailure"));
    m_failure->setFont(previewFont(11, QFont::Medium));
    m_failure->setStyleSheet(QStringLiteral("color: rgb(255, 69, 58);"));
    m_failure->setWordWrap(true);
    m_failure->hide();
    row->addWidget(m_elapsed);
    row->addWidget(m_seekBar, 1);
    row->addWidget(m_total);
    row->addWidget(m_mute);
    row->addWidget(m_failure, 1);

    // Seeking follows the handle while it is dragged; the player keeps to the latest position.
    connect(m_seekBar, &QSlider::sliderMoved, this, [this](int value) {
        if (m_player)
            m_player->seek(value);
    });
    connect(m_seekBar, &QSlider::actionTriggered, this, [this](int action) {
        if (m_player && action != QAbstractSlider::SliderMove)
            m_player->seek(m_seekBar->sliderPosition());
    });
    connect(m_mute, &QAbstractButton::clicked, this, [this] {
        if (m_player)
            m_player->setMuted(!m_player->isMuted());
    });
}

void PreviewTimeline::setPlayer(platform::MoviePlayer *player)
{
    if (m_player)
        disconnect(m_player, nullptr, this, nullptr);
    m_player = player;
    m_failure->hide();
    for (QWidget *part : {static_cast<QWidget *>(m_elapsed), static_cast<QWidget *>(m_seekBar),
                          static_cast<QWidget *>(m_total), static_cast<QWidget *>(m_mute)})
        part->setVisible(player != nullptr);
    if (!player)
        return;
    connect(player, &platform::MoviePlayer::positionChanged, this, &PreviewTimeline::showPosition);
    connect(player, &platform::MoviePlayer::durationChanged, this, &PreviewTimeline::showDuration);
    connect(player, &platform::MoviePlayer::mutedChanged, this, &PreviewTimeline::showMuted);
    showDuration(player->duration());
    showPosition(player->position());
    showMuted(player->isMuted());
}

void PreviewTimeline::showFailure(const QString &message)
{
    setPlayer(nullptr);
    m_failure->setText(message);
    m_failure->show();
}

QString PreviewTimeline::timeText(qint64 ms)
{
    const qint64 seconds = std::max<qint64>(ms, 0) / 1000;
    const qint64 hours = seconds / 3600;
    if (hours > 0)
        return QStringLiteral("%1:%2:%3")
            .arg(hours)
            .arg(seconds / 60 % 60, 2, 10, QLatin1Char('0'))
            .arg(seconds % 60, 2, 10, QLatin1Char('0'));
    return QStringLiteral("%1:%2").arg(seconds / 60).arg(seconds % 60, 2, 10, QLatin1Char('0'));
}

void PreviewTimeline::showPosition(qint64 position)
{
    m_elapsed->setText(timeText(position));
    if (!m_seekBar->isSliderDown())
        m_seekBar->setValue(int(std::min<qint64>(position, m_seekBar->maximum())));
}

void PreviewTimeline::showDuration(qint64 duration)
{
    m_total->setText(timeText(duration));
    m_seekBar->setRange(0, int(std::clamp<qint64>(duration, 0, INT_MAX)));
    m_seekBar->setPageStep(std::max(1000, int(duration / 10)));
}

void PreviewTimeline::showMuted(bool muted)
{
    PlateButton::Look look = m_mute->look();
    look.symbol =
        muted ? QStringLiteral("speaker.slash.fill") : QStringLiteral("speaker.wave.2.fill");
    m_mute->setLook(look);
    m_mute->setToolTip(muted ? QStringLiteral("Unmute") : QStringLiteral("Mute"));
}

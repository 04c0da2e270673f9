#include "preview/PreviewPlayback.h"

#include "model/FreedMemory.h"
#include "platform/Log.h"
#include "platform/PrivateFiles.h"

PreviewPlayback::PreviewPlayback(platform::MoviePlayerFactory makePlayer, QObject *parent)
    : QObject(parent), m_makePlayer(std::move(makePlayer))
{
}

PreviewPlayback::~PreviewPlayback()
{
    close();
}

void PreviewPlayback::open(const std::optional<CaptureItem> &item)
{
    close();
    m_error.clear();
    m_movie.clear();
    if (!item || !item->isVideo() || !m_makePlayer)
        return;
    m_movie = *item->videoURL();
    openPlayer();
}

void PreviewPlayback::openPlayer()
{
    // A 4K movie's decoded pictures are megabytes each, freed on the decoder's threads.
    keepLargeBuffersMapped();
    m_openedVersion = platform::FileVersion::of(m_movie.toLocalFile());
    m_player = m_makePlayer(m_movie);
    if (!m_player)
        return;
    m_isPlaying = false;
    connect(m_player.get(), &platform::MoviePlayer::playingChanged, this, [this](bool playing) {
        if (playing == m_isPlaying)
            return;
        if (playing)
            qCInfo(Log::overlay, "Video playback playing");
        setPlaying(playing);
    });
    // Played to the end: the player is back at the first frame, stopped.
    connect(m_player.get(), &platform::MoviePlayer::reachedEnd, this,
            [this] { setPlaying(false); });
    connect(m_player.get(), &platform::MoviePlayer::failed, this, [this](const QString &message) {
        const QString text = QStringLiteral("Video playback failed: %1").arg(message);
        qCWarning(Log::overlay, "%s", qUtf8Printable(text));
        m_error = text;
        setPlaying(false);
        emit failed(text);
        disconnect(m_player.get(), nullptr, this, nullptr);
        m_player.release()->deleteLater();
    });
}

void PreviewPlayback::close()
{
    if (!m_player)
        return;
    disconnect(m_player.get(), nullptr, this, nullptr);
    m_player->pause();
    m_player.reset();
    setPlaying(false);
}

void PreviewPlayback::toggle()
{
    if (m_player && m_isPlaying) {
        m_player->pause();
        return;
    }
    const bool failed = !m_player && !m_error.isEmpty();
    // A player goes on reading the file it opened by the places it found in it: another movie
    // written over that file would not play.
    const std::optional<platform::FileVersion> now =
        m_player ? platform::FileVersion::of(m_movie.toLocalFile()) : std::nullopt;
    const bool writtenOver = m_player && (now.has_value() != m_openedVersion.has_value() ||
                                          (now && !now->sameContents(*m_openedVersion)));
    if ((failed || writtenOver) && !m_movie.isEmpty()) {
        close();
        m_error.clear();
        openPlayer();
        if (!m_player)
            return;
        emit playerChanged();
    }
    if (m_player)
        m_player->play();
}

void PreviewPlayback::setPlaying(bool playing)
{
    if (playing == m_isPlaying)
        return;
    m_isPlaying = playing;
    emit isPlayingChanged(playing);
}

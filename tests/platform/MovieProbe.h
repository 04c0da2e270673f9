#pragma once

#include <QByteArray>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QString>
#include <QStringList>
#include <limits>
#include <optional>

// What ffprobe reads from a movie file: its streams and container as ffprobe's JSON names them
// ("codec_name", "profile", "pix_fmt", "avg_frame_rate", "nb_read_frames", "major_brand", ...).
struct MovieProbe {
    bool readable = false;
    QJsonObject format;
    QJsonObject video;
    QJsonObject audio;

    static bool available() { return !QStandardPaths::findExecutable("ffprobe").isEmpty(); }

    // countFrames decodes the whole video stream to count its frames (nb_read_frames).
    static MovieProbe of(const QString &path, bool countFrames = false)
    {
        QStringList arguments{"-v", "error", "-show_streams", "-show_format", "-of", "json"};
        if (countFrames)
            arguments << "-count_frames";
        QProcess ffprobe;
        ffprobe.start(QStringLiteral("ffprobe"), arguments << path);
        MovieProbe probe;
        if (!ffprobe.waitForFinished(30000) || ffprobe.exitCode() != 0)
            return probe;
        const QJsonObject root = QJsonDocument::fromJson(ffprobe.readAllStandardOutput()).object();
        probe.format = root.value("format").toObject();
        for (const QJsonValue &stream : root.value("streams").toArray()) {
            const QJsonObject object = stream.toObject();
            (object.value("codec_type").toString() == "video" ? probe.video : probe.audio) = object;
        }
        probe.readable = !probe.video.isEmpty();
        return probe;
    }

    QString brand() const
    {
        return format.value("tags").toObject().value("major_brand").toString();
    }
    double duration() const { return format.value("duration").toString().toDouble(); }
    int frames() const { return video.value("nb_read_frames").toString().toInt(); }

    // The sound track's level once decoded, in dB below full scale, as ffmpeg's volumedetect
    // measures it (digital silence reads about -91). Nothing without a sound track.
    struct Loudness {
        double mean = 0;
        double peak = 0;
    };
    // `filters` go before the measurement, e.g. "atrim=end_sample=4410" for the first tenth of
    // a second at 44.1 kHz.
    static std::optional<Loudness> loudness(const QString &path, const QString &filters = {})
    {
        QProcess ffmpeg;
        const QString chain = filters.isEmpty() ? QStringLiteral("volumedetect")
                                                : filters + QStringLiteral(",volumedetect");
        ffmpeg.start(QStringLiteral("ffmpeg"), {"-hide_banner", "-nostats", "-i", path, "-map",
                                                "0:a", "-af", chain, "-f", "null", "-"});
        if (!ffmpeg.waitForFinished(30000) || ffmpeg.exitCode() != 0)
            return std::nullopt;
        const QString report = QString::fromUtf8(ffmpeg.readAllStandardError());
        const auto level = [&](const char *name) -> std::optional<double> {
            const QRegularExpressionMatch match =
                QRegularExpression(QStringLiteral("%1: (-?[0-9.]+|-inf) dB").arg(name))
                    .match(report);
            if (!match.hasMatch())
                return std::nullopt;
            return match.captured(1) == "-inf" ? -std::numeric_limits<double>::infinity()
                                               : match.captured(1).toDouble();
        };
        const std::optional<double> mean = level("mean_volume");
        const std::optional<double> peak = level("max_volume");
        if (!mean || !peak)
            return std::nullopt;
        return Loudness{*mean, *peak};
    }

    // When, in seconds of the movie as ffmpeg plays it, the picture first turns from black and
    // the sound from silence (blackdetect, silencedetect). Nothing where either never does.
    struct Onsets {
        double picture = 0;
        double sound = 0;
    };
    static std::optional<Onsets> onsets(const QString &path)
    {
        QProcess ffmpeg;
        ffmpeg.start(QStringLiteral("ffmpeg"),
                     {"-hide_banner", "-nostats", "-i", path, "-vf", "blackdetect=d=0.1:pix_th=0.1",
                      "-af", "silencedetect=n=-40dB:d=0.1", "-f", "null", "-"});
        if (!ffmpeg.waitForFinished(30000) || ffmpeg.exitCode() != 0)
            return std::nullopt;
        const QString report = QString::fromUtf8(ffmpeg.readAllStandardError());
        const QRegularExpressionMatch picture =
            QRegularExpression(QStringLiteral("black_end:([0-9.]+)")).match(report);
        const QRegularExpressionMatch sound =
            QRegularExpression(QStringLiteral("silence_end: ([0-9.]+)")).match(report);
        if (!picture.hasMatch() || !sound.hasMatch())
            return std::nullopt;
        return Onsets{picture.captured(1).toDouble(), sound.captured(1).toDouble()};
    }

    // When each picture is shown, in seconds, in the order decoded; empty when unreadable.
    static QList<double> pictureTimes(const QString &path)
    {
        QProcess ffprobe;
        ffprobe.start(QStringLiteral("ffprobe"),
                      {"-v", "error", "-select_streams", "v", "-show_entries", "frame=pts_time",
                       "-of", "csv=p=0", path});
        QList<double> times;
        if (!ffprobe.waitForFinished(30000) || ffprobe.exitCode() != 0)
            return times;
        for (const QByteArray &line : ffprobe.readAllStandardOutput().split('\n')) {
            // A frame with side data has a field more, empty here.
            const QByteArray time = line.split(',').first().trimmed();
            if (!time.isEmpty())
                times.append(time.toDouble());
        }
        return times;
    }

    // The encoder settings x264 writes into the stream, e.g. "bitrate=307".
    static bool encoderSettingsContain(const QString &path, const QByteArray &setting)
    {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) && file.readAll().contains(" " + setting + " ");
    }
};

#pragma once

// A moving picture for the recording benchmarks, drawn by a child process (the benchmark's own
// executable again, started with --animate) so that its drawing is not counted as the recorder's.

#include "BenchFigures.h"

#include <QElapsedTimer>
#include <QFont>
#include <QGuiApplication>
#include <QPainter>
#include <QProcess>
#include <QRasterWindow>
#include <QTimer>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <optional>
#include <signal.h>
#include <sys/prctl.h>

constexpr int animationWaitLimitMs = 15000;

// Colour bands scrolling sideways, a ball bouncing across them and a page of text scrolling
// upwards: every part of the screen changes at every frame, at a speed fixed in time.
class MovingPattern final : public QRasterWindow {
public:
    MovingPattern()
    {
        m_clock.start();
        m_report.start();
        scheduleNext();
    }

protected:
    void paintEvent(QPaintEvent *) override
    {
        const double t = m_clock.nsecsElapsed() / 1e9;
        QPainter painter(this);
        const int w = width();
        const int h = height();
        constexpr int band = 60;
        const int shift = int(t * 240) % (2 * band);
        for (int x = -2 * band + shift, i = 0; x < w; x += band, ++i)
            painter.fillRect(x, 0, band, h,
                             QColor::fromHsv((i * 23 + int(t * 90)) % 360, 160, 220));

        const int page = w / 3;
        painter.fillRect(w - page, 0, page, h, Qt::white);
        QFont font(QStringLiteral("DejaVu Sans"));
        font.setPixelSize(15);
        painter.setFont(font);
        painter.setPen(QColor(30, 30, 30));
        const int scroll = int(t * 120) % 22;
        for (int y = 22 - scroll, line = int(t * 120) / 22; y < h + 22; y += 22, ++line) {
            painter.drawText(w - page + 16, y,
                             QStringLiteral("Line %1: recordings keep what the screen showed, "
                                            "frame by frame.")
                                 .arg(line));
        }

        const double bx = std::abs(std::fmod(t * 700, 2.0 * (w - 200)) - (w - 200));
        const double by = std::abs(std::fmod(t * 450, 2.0 * (h - 200)) - (h - 200));
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setBrush(Qt::white);
        painter.setPen(Qt::NoPen);
        painter.drawEllipse(QRectF(bx, by, 200, 200));

        ++m_painted;
        if (m_painted == 1) {
            std::printf("ready\n");
            std::fflush(stdout);
        }
        if (m_report.elapsed() >= 1000) {
            std::printf("painted %d in %lld ms\n", m_painted, m_clock.elapsed());
            std::fflush(stdout);
            m_report.restart();
        }
    }

private:
    // 60 Hz without drift: each repaint is asked for at its own sixtieth of a second.
    void scheduleNext()
    {
        ++m_tick;
        const qint64 due = m_tick * 1000 / 60;
        QTimer::singleShot(int(std::max<qint64>(0, due - m_clock.elapsed())), Qt::PreciseTimer,
                           this, [this] {
                               update();
                               scheduleNext();
                           });
    }

    QElapsedTimer m_clock;
    QElapsedTimer m_report;
    qint64 m_tick = 0;
    int m_painted = 0;
};

inline int animate(int argc, char **argv)
{
    // Never outlives the benchmark.
    prctl(PR_SET_PDEATHSIG, SIGTERM);
    QGuiApplication application(argc, argv);
    const QStringList size = QString::fromLatin1(argc > 2 ? argv[2] : "1920x1080").split('x');
    MovingPattern window;
    window.setFlags(Qt::FramelessWindowHint);
    window.setGeometry(0, 0, size.value(0).toInt(), size.value(1).toInt());
    window.show();
    return application.exec();
}

// The child process that runs the animation.
class Animation {
public:
    ~Animation() { stop(); }

    void stop() { stopProcess(m_process, animationWaitLimitMs); }

    // Over the screen's top-left `size`.
    bool start(QSize size)
    {
        stop();
        m_output.clear();
        m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_process.start(QCoreApplication::applicationFilePath(),
                        {QStringLiteral("--animate"),
                         QStringLiteral("%1x%2").arg(size.width()).arg(size.height())});
        QElapsedTimer timer;
        timer.start();
        while (!m_output.contains("ready\n")) {
            if (timer.elapsed() > animationWaitLimitMs || m_process.state() == QProcess::NotRunning)
                return false;
            m_process.waitForReadyRead(50);
            m_output += m_process.readAllStandardOutput();
        }
        return true;
    }

    // Frames painted a second since it started, from its last report.
    std::optional<double> paintRate()
    {
        m_output += m_process.readAllStandardOutput();
        const QList<QByteArray> lines = m_output.trimmed().split('\n');
        int frames = 0;
        long long ms = 0;
        if (lines.isEmpty() ||
            std::sscanf(lines.last().constData(), "painted %d in %lld ms", &frames, &ms) != 2 ||
            ms <= 0)
            return std::nullopt;
        return frames * 1000.0 / double(ms);
    }

private:
    QProcess m_process;
    QByteArray m_output;
};

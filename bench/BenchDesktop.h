#pragma once

// For benchmarks that time the corvanta program as a user meets it on the harness's X server:
// the program in a process of its own, and the keys, pointer and pixels of the desktop seen
// from another X connection.

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QPainter>
#include <QProcess>
#include <QRandomGenerator>
#include <QRgb>
#include <QTemporaryDir>
#include <QWidget>
#include <benchmark/benchmark.h>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <xcb/xcb.h>
#include <xcb/xcb_keysyms.h>
#include <xcb/xtest.h>

inline constexpr int programWaitLimitMs = 15000;

// Reads Google Benchmark's arguments and checks for an X server; an exit code when the
// benchmark cannot run (bad arguments, or no display: it says how to run it in the harness).
// The Qt application is made after this, on the X server.
inline std::optional<int> prepareDesktopBenchmark(int &argc, char **argv, const char *name,
                                                  const char *screen)
{
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    if (qEnvironmentVariableIsEmpty("DISPLAY")) {
        std::printf("%s needs an X server; run it inside the harness:\n"
                    "  CORVANTA_SCREEN=%s scripts/harness -- %s\n",
                    name, screen, argv[0]);
        return 0;
    }
    qputenv("QT_QPA_PLATFORM", "xcb");
    return std::nullopt;
}

// Emitted twice at launch; the hot keys answer after the second.
inline const QString hotKeysRegisteredLine = QStringLiteral("Hotkeys registered for scheme: ");

// The program with private settings, data, runtime and temporary folders, so that its captures
// land under temporaryFolder().
class CorvantaProcess {
public:
    CorvantaProcess()
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        for (const char *name : {"XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_RUNTIME_DIR", "TMPDIR"}) {
            const QString path = m_home.path() + u'/' + QLatin1String(name);
            QDir().mkpath(path);
            QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
            environment.insert(QLatin1String(name), path);
        }
        m_process.setProcessEnvironment(environment);
        m_process.setProcessChannelMode(QProcess::MergedChannels);
    }
    ~CorvantaProcess()
    {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.terminate();
            if (!m_process.waitForFinished(programWaitLimitMs))
                m_process.kill();
            m_process.waitForFinished(programWaitLimitMs);
        }
    }
    CorvantaProcess(const CorvantaProcess &) = delete;
    CorvantaProcess &operator=(const CorvantaProcess &) = delete;

    static QString program()
    {
        return QCoreApplication::applicationDirPath() + QStringLiteral("/../src/corvanta");
    }
    // cpus, e.g. "0,1", keeps the program on those cores (taskset); path names another build's
    // program to start instead of this build's.
    void start(const QString &cpus = QString(), const QString &path = QString())
    {
        const QString started = path.isEmpty() ? program() : path;
        if (cpus.isEmpty())
            m_process.start(started);
        else
            m_process.start(QStringLiteral("taskset"), {QStringLiteral("-c"), cpus, started});
    }
    QString temporaryFolder() const { return m_home.path() + QStringLiteral("/TMPDIR"); }
    QString capturesFolder() const
    {
        return temporaryFolder() + QStringLiteral("/CorvantaCaptures");
    }
    // The settings file the program starts with, as lines of its [General] group
    // ("autoCopyOnCapture=true"); before start().
    bool writeSettings(const QStringList &lines)
    {
        const QString folder = m_home.path() + QStringLiteral("/XDG_CONFIG_HOME/Corvanta");
        QFile file(folder + QStringLiteral("/Corvanta.conf"));
        if (!QDir().mkpath(folder) || !file.open(QIODevice::WriteOnly))
            return false;
        file.write((QStringList(QStringLiteral("[General]")) + lines).join(u'\n').toUtf8() + '\n');
        return true;
    }
    qint64 processId() const { return m_process.processId(); }

    // Reads output until a line ends with the text (seen `count` times in all); false when the
    // program ended or the time ran out. Keeps the event loop of this process running.
    bool waitForLine(const QString &text, int count = 1)
    {
        QElapsedTimer timer;
        timer.start();
        while (m_output.count(text) < count) {
            if (timer.elapsed() > programWaitLimitMs || m_process.state() == QProcess::NotRunning)
                return false;
            if (!m_process.waitForReadyRead(1))
                QCoreApplication::processEvents();
            m_output += QString::fromUtf8(m_process.readAll());
        }
        return true;
    }
    // The wall-clock time the program logged the last line that holds the text.
    std::optional<QDateTime> loggedAt(const QString &text) const
    {
        const QStringList lines = m_output.split(u'\n');
        for (auto line = lines.crbegin(); line != lines.crend(); ++line) {
            if (line->contains(text))
                return QDateTime::fromString(line->section(u' ', 0, 0), Qt::ISODateWithMs);
        }
        return std::nullopt;
    }
    // How long after `from` the program logged the last line that holds the text.
    std::optional<double> loggedAfter(const QString &text, const QDateTime &from) const
    {
        const std::optional<QDateTime> at = loggedAt(text);
        return at ? std::optional<double>(double(from.msecsTo(*at))) : std::nullopt;
    }
    // Takes what the program printed so far, so that a long run does not pile it up.
    void drainOutput() { m_output += QString::fromUtf8(m_process.readAll()); }
    const QString &output() const { return m_output; }

private:
    QTemporaryDir m_home;
    QProcess m_process;
    QString m_output;
};

// Keeps this process's event loop running for a while.
inline void keepEventsFlowing(int ms)
{
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < ms)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
}

// Keys through XTest, as a keyboard would send them, and pixels read back from the root window,
// on the benchmark's own X connection.
class XTestDesktop {
public:
    XTestDesktop()
        : m_connection(qGuiApp->nativeInterface<QNativeInterface::QX11Application>()->connection()),
          m_symbols(xcb_key_symbols_alloc(m_connection)),
          m_root(xcb_setup_roots_iterator(xcb_get_setup(m_connection)).data->root)
    {
    }
    ~XTestDesktop() { xcb_key_symbols_free(m_symbols); }
    XTestDesktop(const XTestDesktop &) = delete;
    XTestDesktop &operator=(const XTestDesktop &) = delete;

    void key(xcb_keysym_t keysym, bool press)
    {
        xcb_keycode_t *codes = xcb_key_symbols_get_keycode(m_symbols, keysym);
        const xcb_keycode_t code = codes ? codes[0] : 0;
        std::free(codes);
        xcb_test_fake_input(m_connection, press ? XCB_KEY_PRESS : XCB_KEY_RELEASE, code,
                            XCB_CURRENT_TIME, XCB_NONE, 0, 0, 0);
        xcb_flush(m_connection);
    }
    void tap(xcb_keysym_t keysym)
    {
        key(keysym, true);
        key(keysym, false);
    }
    // Control+Alt+key, the default scheme's hot keys: '1' full display, '2' area. Returns when
    // the key itself went down, the moment the user presses.
    template <typename Pressed> void pressShortcut(xcb_keysym_t keysym, Pressed pressed)
    {
        key(0xffe3, true); // Control_L
        key(0xffe9, true); // Alt_L
        key(keysym, true);
        pressed();
        key(keysym, false);
        key(0xffe9, false);
        key(0xffe3, false);
    }
    // The pointer moved as a mouse moves it: the program sees the device move.
    void movePointerByDevice(int x, int y)
    {
        xcb_test_fake_input(m_connection, XCB_MOTION_NOTIFY, 0, XCB_CURRENT_TIME, m_root, qint16(x),
                            qint16(y), 0);
        xcb_flush(m_connection);
    }
    void button(bool press)
    {
        xcb_test_fake_input(m_connection, press ? XCB_BUTTON_PRESS : XCB_BUTTON_RELEASE, 1,
                            XCB_CURRENT_TIME, XCB_NONE, 0, 0, 0);
        xcb_flush(m_connection);
    }
    void movePointer(int x, int y)
    {
        xcb_warp_pointer(m_connection, XCB_NONE, m_root, 0, 0, 0, 0, qint16(x), qint16(y));
        xcb_flush(m_connection);
    }
    // The pixels of part of the screen as the X server shows them; null when unreadable.
    QImage grab(const QRect &area)
    {
        xcb_get_image_reply_t *reply = xcb_get_image_reply(
            m_connection,
            xcb_get_image(m_connection, XCB_IMAGE_FORMAT_Z_PIXMAP, m_root, qint16(area.x()),
                          qint16(area.y()), quint16(area.width()), quint16(area.height()), ~0u),
            nullptr);
        if (reply == nullptr)
            return {};
        // Four bytes a pixel, blue first, on the harness's 24-bit screen.
        QImage image;
        if (xcb_get_image_data_length(reply) >= area.width() * area.height() * 4)
            image = QImage(xcb_get_image_data(reply), area.width(), area.height(), area.width() * 4,
                           QImage::Format_RGB32)
                        .copy();
        std::free(reply);
        return image;
    }
    std::optional<QRgb> pixel(int x, int y)
    {
        const QImage image = grab(QRect(x, y, 1, 1));
        return image.isNull() ? std::nullopt : std::optional<QRgb>(image.pixel(0, 0));
    }

private:
    xcb_connection_t *m_connection;
    xcb_key_symbols_t *m_symbols;
    xcb_window_t m_root;
};

// Waits for the program's hot keys, then takes a first capture with the full-display key, which
// makes the captures folder and the shared-memory segment; false when it did not get that far.
inline bool takeFirstCapture(CorvantaProcess &program, XTestDesktop &desktop)
{
    if (!program.waitForLine(hotKeysRegisteredLine, 2))
        return false;
    desktop.pressShortcut('1', [] {});
    QElapsedTimer waiting;
    waiting.start();
    while (!QFileInfo::exists(program.capturesFolder()) && waiting.elapsed() < programWaitLimitMs)
        keepEventsFlowing(20);
    keepEventsFlowing(1000);
    return QFileInfo::exists(program.capturesFolder());
}

// A desktop worth compressing: a photo-like left half (smooth colour fields with grain) and a
// document on the right (text on white beside a grey sidebar).
inline QImage desktopImage(QSize size)
{
    QImage image(size, QImage::Format_RGB32);
    QRandomGenerator grain(11);
    const int photoWidth = size.width() / 2;
    for (int y = 0; y < size.height(); ++y) {
        auto *line = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < photoWidth; ++x) {
            const int jitter = int(grain.bounded(9u)) - 4;
            line[x] = qRgb(qBound(0, 128 + (x % 512) / 4 - (y % 300) / 5 + jitter, 255),
                           qBound(0, 60 + (y * 160) / size.height() + jitter, 255),
                           qBound(0, 200 - (x * 120) / photoWidth + jitter, 255));
        }
    }
    QPainter painter(&image);
    painter.fillRect(photoWidth, 0, size.width() - photoWidth, size.height(), Qt::white);
    painter.fillRect(photoWidth, 0, 240, size.height(), QColor(236, 236, 240));
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(16);
    painter.setFont(font);
    const QString text = QStringLiteral(
        "Screenshots land in the staging tray with a sound; save, copy or drag them out. ");
    for (int row = 0, y = 40; y < size.height(); ++row, y += 24) {
        painter.setPen(row % 5 == 0 ? QColor(20, 80, 180) : QColor(30, 30, 30));
        painter.drawText(photoWidth + 260, y, text.repeated(2).mid(row % 30, 150));
        painter.setPen(QColor(100, 100, 100));
        painter.drawText(photoWidth + 16, y, QStringLiteral("Folder %1").arg(row));
    }
    return image;
}

// Covers the screen with an image, as other programs' windows would.
class DesktopContent : public QWidget {
public:
    explicit DesktopContent(const QRect &screen) : m_image(desktopImage(screen.size()))
    {
        setWindowFlags(Qt::FramelessWindowHint | Qt::X11BypassWindowManagerHint);
        setGeometry(screen);
    }
    QRgb expectedCorner() const { return m_image.pixel(0, 0); }
    void setImage(const QImage &image)
    {
        m_image = image;
        update();
    }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter painter(this);
        painter.drawImage(0, 0, m_image);
    }

private:
    QImage m_image;
};

// Random and mutated inputs for everything the account reads from outside: the browser
// callback's fragment, the backend's token, refresh and user answers, and the stored profile.
// Built with AddressSanitizer and UndefinedBehaviorSanitizer; each target runs a bounded
// number of executions (10 million by default, --executions=N) against an oracle, and any
// crash, sanitizer report, oracle failure or slow execution ends the run with an error.

#include "account/AuthError.h"
#include "account/AuthWire.h"
#include "account/UserProfile.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QStringList>
#include <cstdio>
#include <cstdlib>
#include <functional>

namespace {

class Random {
public:
    explicit Random(quint64 seed) : m_state(seed ? seed : 0x9e3779b97f4a7c15ull) {}
    quint64 next()
    {
        m_state ^= m_state << 13;
        m_state ^= m_state >> 7;
        m_state ^= m_state << 17;
        return m_state;
    }
    int below(int bound) { return int(next() % quint64(bound)); }

private:
    quint64 m_state;
};

const QList<QByteArray> fragmentSeeds{
    "access_token=a1&expires_in=3600&refresh_token=r1&token_type=bearer",
    "access_token=a&access_token=b",
    "refresh_token=r",
    "access_token=a=b",
    "=&==&access_token=%41%3D",
    "",
};

const QList<QByteArray> bodySeeds{
    R"({"access_token":"a","refresh_token":"r","user":{"id":"5B0E2C4A-8F1D-4E6B-9A3C-7D2E1F0A9B8C","email":"e@x"}})",
    R"({"access_token":"a","user":{"id":"u"}})",
    R"({"error_description":"Invalid login credentials","msg":"m"})",
    R"({"msg":"Signups not allowed","error_description":7})",
    R"({"id":"u1","email":null})",
    R"({"id":"5B0E2C4A-8F1D-4E6B-9A3C-7D2E1F0A9B8C","appleUserID":"x","createdAt":1.5,"email":"e"})",
    "<html><body>Internal Server Error</body></html>",
    "{}",
    "[]",
    "",
};

constexpr char specialBytes[] = "&=\"{}[]:,\\\0\xff\xfe#%nul0123456789-.eE+ \t\n";
const QByteArray specials(specialBytes, sizeof specialBytes - 1);

QByteArray mutate(Random &random, const QList<QByteArray> &seeds)
{
    QByteArray data = seeds[random.below(int(seeds.size()))];
    const int edits = 1 + random.below(8);
    for (int i = 0; i < edits; ++i) {
        const int at = data.isEmpty() ? 0 : random.below(int(data.size()) + 1);
        switch (random.below(7)) {
        case 0:
            data.insert(at, char(random.below(256)));
            break;
        case 1:
            data.insert(at, specials[random.below(int(specials.size()))]);
            break;
        case 2:
            if (!data.isEmpty())
                data.remove(qMin<qsizetype>(at, data.size() - 1), 1 + random.below(4));
            break;
        case 3:
            if (!data.isEmpty())
                data[qMin<qsizetype>(at, data.size() - 1)] = char(random.below(256));
            break;
        case 4: {
            const QByteArray &other = seeds[random.below(int(seeds.size()))];
            data.insert(at, other.mid(random.below(int(other.size()) + 1)));
            break;
        }
        case 5:
            if (data.size() < 2048)
                data.insert(at, data.mid(at, random.below(64)));
            break;
        default:
            // Deep nesting and long runs.
            data.insert(at, QByteArray(random.below(300), random.below(2) ? '[' : '{'));
            break;
        }
    }
    if (random.below(50000) == 0)
        data.append(QByteArray(256 * 1024, 'a'));
    return data;
}

// The callback fragment as documented, written the plain way, for comparison.
std::optional<authWire::CallbackTokens> referenceFragment(const QString &fragment)
{
    QHash<QString, QString> pairs;
    for (const QString &piece : fragment.split(u'&')) {
        const QStringList parts = piece.split(u'=');
        if (parts.size() == 2)
            pairs.insert(parts[0], parts[1]);
    }
    if (!pairs.contains(QStringLiteral("access_token")))
        return std::nullopt;
    authWire::CallbackTokens tokens{pairs.value(QStringLiteral("access_token")), std::nullopt};
    if (pairs.contains(QStringLiteral("refresh_token")))
        tokens.refreshToken = pairs.value(QStringLiteral("refresh_token"));
    return tokens;
}

bool fragmentOracle(const QByteArray &input)
{
    const QString fragment = QString::fromUtf8(input);
    const auto parsed = authWire::parseCallbackFragment(fragment);
    const auto expected = referenceFragment(fragment);
    if (parsed.has_value() != expected.has_value())
        return false;
    return !parsed || (parsed->accessToken == expected->accessToken &&
                       parsed->refreshToken == expected->refreshToken);
}

const int statuses[] = {200, 200, 200, 201, 204, 302, 400, 401, 404, 422, 500, 503, 0, -1, 99999};

bool readersHold(Random &random, const QByteArray &body);

// Each reader either returns what it may return for that status or throws one of the
// account's documented errors; nothing else.
bool readersOracle(Random &random, const QByteArray &body)
{
    const bool ok = readersHold(random, body);
    if (!ok)
        std::fprintf(stderr, "readers oracle failed on: %s\n",
                     body.toPercentEncoding().constData());
    return ok;
}

bool readersHold(Random &random, const QByteArray &body)
{
    platform::HttpResponse response{random.below(20) != 0,
                                    statuses[random.below(int(std::size(statuses)))], body};
    try {
        const auto answer = authWire::readSignInAnswer(response);
        if (!response.isHttp || response.status != 200)
            return false;
        (void)answer;
    } catch (const SignInRejectedError &error) {
        if (error.code() != response.status) {
            std::fprintf(stderr, "rejection code %d for status %d\n", error.code(),
                         response.status);
            return false;
        }
    } catch (const AccountError &) {
    } catch (...) {
        return false;
    }
    try {
        authWire::readRefreshAnswer(response);
        if (!response.isHttp || response.status != 200)
            return false;
    } catch (const AuthError &) {
    } catch (...) {
        return false;
    }
    try {
        authWire::readUserAnswer(response);
        if (!response.isHttp || response.status < 200 || response.status > 299)
            return false;
    } catch (const AccountError &) {
    } catch (...) {
        return false;
    }
    return true;
}

bool profileOracle(const QByteArray &input)
{
    const std::optional<UserProfile> profile = UserProfile::fromJson(input);
    return !profile || UserProfile::fromJson(profile->toJson()) == profile;
}

QString loadAverage()
{
    QFile file(QStringLiteral("/proc/loadavg"));
    if (!file.open(QIODevice::ReadOnly))
        return QStringLiteral("?");
    return QString::fromLatin1(file.readAll().split(' ').mid(0, 3).join(' '));
}

bool run(const char *name, qint64 executions, const std::function<bool(Random &)> &once)
{
    Random random(0x5eed0000 + qHash(QByteArray(name)));
    QElapsedTimer total;
    QElapsedTimer single;
    total.start();
    qint64 slowest = 0;
    qint64 failures = 0;
    for (qint64 i = 0; i < executions; ++i) {
        single.start();
        if (!once(random))
            ++failures;
        slowest = qMax(slowest, single.nsecsElapsed());
    }
    const double seconds = double(total.nsecsElapsed()) / 1e9;
    std::printf("%-10s executions %lld  %.1f s  %.0f exec/s  slowest %.2f ms  oracle failures %lld"
                "  (load average %s)\n",
                name, executions, seconds, double(executions) / seconds, double(slowest) / 1e6,
                failures, qPrintable(loadAverage()));
    std::fflush(stdout);
    // An execution that takes a second is a hang for inputs of a few kilobytes.
    return failures == 0 && slowest < 1'000'000'000;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication application(argc, argv);
    qint64 executions = 10'000'000;
    for (const QString &argument : QCoreApplication::arguments().mid(1))
        if (argument.startsWith(QLatin1String("--executions=")))
            executions = argument.mid(13).toLongLong();

    bool ok = true;
    ok &= run("fragment", executions,
              [](Random &random) { return fragmentOracle(mutate(random, fragmentSeeds)); });
    ok &= run("readers", executions,
              [](Random &random) { return readersOracle(random, mutate(random, bodySeeds)); });
    ok &= run("profile", executions,
              [](Random &random) { return profileOracle(mutate(random, bodySeeds)); });
    std::printf("%s\n", ok ? "no crash, hang or oracle failure" : "FAILED");
    return ok ? 0 : 1;
}

#include "model/UserDefaults.h"

#include <QFile>
#include <QTemporaryDir>
#include <cmath>
#include <gtest/gtest.h>

namespace {

class UserDefaultsTest : public ::testing::Test {
protected:
    QString path(const QString &name = QStringLiteral("Corvanta.conf")) const
    {
        return m_dir.filePath(name);
    }

    void writeFile(const QByteArray &content, const QString &name = QStringLiteral("Corvanta.conf"))
    {
        QFile file(path(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(content);
    }

    QByteArray fileBytes() const
    {
        QFile file(path());
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    QTemporaryDir m_dir;
};

} // namespace

TEST_F(UserDefaultsTest, ScalarReadsAreStrict)
{
    writeFile("[General]\n"
              "yes=true\nno=0\nmaybe=yes\nupper=TRUE\n"
              "count=12\ntrailing=12abc\nfraction=1.5\nhex=0x10\n"
              "delay=2.5\nnan=nan\ninf=inf\nminusInf=-inf\nword=soon\n"
              "list=a, b\nbytes=@ByteArray(abc)\nrect=@Rect(1 2 3 4)\nempty=\n");
    const UserDefaults defaults(path());

    EXPECT_EQ(defaults.boolValue("yes"), true);
    EXPECT_EQ(defaults.boolValue("no"), false);
    EXPECT_FALSE(defaults.boolValue("maybe"));
    EXPECT_FALSE(defaults.boolValue("upper"));
    EXPECT_FALSE(defaults.boolValue("absent"));
    EXPECT_FALSE(defaults.boolValue("list"));

    EXPECT_EQ(defaults.integerValue("count"), 12);
    EXPECT_FALSE(defaults.integerValue("trailing"));
    EXPECT_FALSE(defaults.integerValue("fraction"));
    EXPECT_FALSE(defaults.integerValue("hex"));
    EXPECT_FALSE(defaults.integerValue("empty"));

    EXPECT_EQ(defaults.doubleValue("delay"), 2.5);
    EXPECT_EQ(defaults.doubleValue("count"), 12.0);
    EXPECT_TRUE(std::isnan(defaults.doubleValue("nan").value_or(0)));
    EXPECT_EQ(defaults.doubleValue("inf"), INFINITY);
    EXPECT_EQ(defaults.doubleValue("minusInf"), -INFINITY);
    EXPECT_FALSE(defaults.doubleValue("word"));
    EXPECT_FALSE(defaults.doubleValue("trailing"));

    EXPECT_EQ(defaults.stringValue("word"), "soon");
    EXPECT_EQ(defaults.stringValue("empty"), "");
    EXPECT_FALSE(defaults.stringValue("list"));
    EXPECT_FALSE(defaults.stringValue("bytes"));
    EXPECT_FALSE(defaults.stringValue("rect"));

    EXPECT_TRUE(defaults.contains("maybe"));
    EXPECT_FALSE(defaults.contains("absent"));
    EXPECT_EQ(defaults.jsonText("bytes"), "abc");
    EXPECT_FALSE(defaults.jsonText("list"));
    EXPECT_FALSE(defaults.stringArray("rect"));
    EXPECT_FALSE(defaults.stringArray("absent"));
}

TEST_F(UserDefaultsTest, WrittenValuesReadBackUnchanged)
{
    const QList<QStringList> arrays = {{}, {"pin"}, {""}, {"pin", "a, b", "@x"}};
    {
        UserDefaults defaults(path());
        defaults.setBool("flag", false);
        defaults.setInteger("count", -3);
        defaults.setDouble("delay", 0.1);
        defaults.setDouble("nan", NAN);
        defaults.setDouble("inf", -INFINITY);
        defaults.setString("text", "My, Folder");
        defaults.setJsonText("json", R"({"displayString":"⌃⌥P","keyCode":35})");
        for (qsizetype i = 0; i < arrays.size(); ++i)
            defaults.setStringArray(QStringLiteral("array%1").arg(i), arrays[i]);
    }
    // Every write is in the file at once; a copy under a new name is read
    // from its text alone, not from this process's cache.
    ASSERT_TRUE(fileBytes().contains("delay=0.1"));
    ASSERT_TRUE(QFile::copy(path(), path("copy.conf")));
    for (const QString &file : {path(), path("copy.conf")}) {
        SCOPED_TRACE(file.toStdString());
        const UserDefaults defaults(file);
        EXPECT_EQ(defaults.boolValue("flag"), false);
        EXPECT_EQ(defaults.integerValue("count"), -3);
        EXPECT_EQ(defaults.doubleValue("delay"), 0.1);
        EXPECT_TRUE(std::isnan(defaults.doubleValue("nan").value_or(0)));
        EXPECT_EQ(defaults.doubleValue("inf"), -INFINITY);
        EXPECT_EQ(defaults.stringValue("text"), "My, Folder");
        EXPECT_EQ(defaults.jsonText("json"), R"({"displayString":"⌃⌥P","keyCode":35})");
        for (qsizetype i = 0; i < arrays.size(); ++i)
            EXPECT_EQ(defaults.stringArray(QStringLiteral("array%1").arg(i)), arrays[i]) << i;
    }
}

TEST_F(UserDefaultsTest, StandardFileIsCorvantaConfInTheConfigHome)
{
    const QByteArray saved = qgetenv("XDG_CONFIG_HOME");
    const bool wasSet = qEnvironmentVariableIsSet("XDG_CONFIG_HOME");
    qputenv("XDG_CONFIG_HOME", m_dir.path().toUtf8());
    EXPECT_EQ(UserDefaults::standard()->fileName(), m_dir.filePath("Corvanta/Corvanta.conf"));
    if (wasSet)
        qputenv("XDG_CONFIG_HOME", saved);
    else
        qunsetenv("XDG_CONFIG_HOME");
}

#include <QDeadlineTimer>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

namespace {

// Runs zelvar-board as a child process and reads its output line by line.
class BoardProcess
{
public:
    explicit BoardProcess(const QStringList &arguments)
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        m_process.setProcessEnvironment(environment);
        m_process.start(QStringLiteral(ZELVAR_BOARD_EXE), arguments);
    }

    ~BoardProcess()
    {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.kill();
            m_process.waitForFinished(5000);
        }
    }

    // The next line of output, or an empty text after a few seconds without one.
    QString nextLine()
    {
        const QDeadlineTimer deadline(5000);
        while (!m_process.canReadLine() && !deadline.hasExpired())
            m_process.waitForReadyRead(static_cast<int>(deadline.remainingTime()));
        return QString::fromUtf8(m_process.readLine()).trimmed();
    }

    QProcess &process() { return m_process; }

private:
    QProcess m_process;
};

void writeToDevice(const QString &path, const QByteArray &bytes)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDWR | O_NOCTTY);
    ASSERT_GE(fd, 0) << path.toStdString();
    ASSERT_EQ(::write(fd, bytes.constData(), static_cast<size_t>(bytes.size())), bytes.size());
    ::close(fd);
}

} // namespace

TEST(BoardProgram, ShowsEachCommandWrittenToItsDeviceAndOutlivesReopening)
{
    for (const QStringList &arguments : {QStringList(), QStringList{QStringLiteral("--gui")}}) {
        SCOPED_TRACE(arguments.join(' ').toStdString());
        BoardProcess board(arguments);
        const QString device = board.nextLine();
        ASSERT_TRUE(device.startsWith(QStringLiteral("/dev/pts/"))) << device.toStdString();

        writeToDevice(device, "S3N$#S3F$#");
        const QString on = board.nextLine();
        const QString off = board.nextLine();
        EXPECT_TRUE(QRegularExpression(QStringLiteral("^\\d\\d:\\d\\d:\\d\\d\\.\\d\\d\\d  S3N\\$#")).match(on).hasMatch())
            << on.toStdString();
        EXPECT_TRUE(on.contains(QStringLiteral("relais  3 allumé"))) << on.toStdString();
        EXPECT_TRUE(off.contains(QStringLiteral("relais  3 éteint"))) << off.toStdString();

        // A program closing the port and opening it again finds the board still there.
        writeToDevice(device, "S17N$#");
        EXPECT_TRUE(board.nextLine().contains(QStringLiteral("hors plage")));
        writeToDevice(device, "S16T$#");
        EXPECT_TRUE(board.nextLine().contains(QStringLiteral("relais 16 allumé")));
        EXPECT_EQ(board.process().state(), QProcess::Running);
    }
}

TEST(BoardProgram, LinksItsDeviceAndRemovesTheLinkWhenStopped)
{
    QTemporaryDir dir;
    const QString link = dir.filePath(QStringLiteral("board"));
    BoardProcess board({QStringLiteral("--link"), link});
    const QString device = board.nextLine();
    ASSERT_FALSE(device.isEmpty());
    EXPECT_EQ(QFileInfo(link).symLinkTarget(), device);

    writeToDevice(link, "S1N$#");
    EXPECT_TRUE(board.nextLine().contains(QStringLiteral("relais  1 allumé")));

    board.process().terminate();
    ASSERT_TRUE(board.process().waitForFinished(5000));
    EXPECT_EQ(board.process().exitCode(), 0);
    EXPECT_FALSE(QFileInfo(link).isSymLink());
}

TEST(BoardProgram, RefusesToReplaceAFileWithItsLink)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("notes.txt"));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("keep me");
    file.close();

    BoardProcess board({QStringLiteral("--link"), path});
    ASSERT_TRUE(board.process().waitForFinished(5000));
    EXPECT_NE(board.process().exitCode(), 0);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), "keep me");
}

TEST(BoardProgram, HelpDescribesTheOptions)
{
    BoardProcess board({QStringLiteral("--help")});
    ASSERT_TRUE(board.process().waitForFinished(5000));
    EXPECT_EQ(board.process().exitCode(), 0);
    const QString usage = QString::fromUtf8(board.process().readAllStandardOutput());
    EXPECT_TRUE(usage.contains(QStringLiteral("--link")));
    EXPECT_TRUE(usage.contains(QStringLiteral("--gui")));
}

#include "settings/RemotePage.h"

#include "Shots.h"
#include "TestFiles.h"
#include "forms/ErrorReport.h"
#include "forms/Forms.h"
#include "forms/RemoteLink.h"
#include "settings/PagesDlg.h"
#include "settings/RemoteAddress.h"

#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QTest>
#include <gtest/gtest.h>

#include <sys/stat.h>

using namespace zelvar;
using zelvar::testing::readFile;

namespace {

// The program's host as the page sees it: what it was handed.
class RecordingLink : public RemoteLink
{
public:
    RemoteSettings settings() const override { return applied.value_or(RemoteSettings{}); }
    void apply(const RemoteSettings &settings) override { applied = settings; }
    void useToken(const QByteArray &token) override { tokens << token; }
    RemoteStatus status() const override { return state; }
    void becomeHost() override { state.guest = false; }

    std::optional<RemoteSettings> applied;
    QList<QByteArray> tokens;
    RemoteStatus state;
};

class RemotePageTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(config.isValid());
        Forms::instance().remote = &link;
        setErrorReportHook([this](const QString &text) { errors << text; });
    }

    void TearDown() override
    {
        page.reset();
        Forms::instance().remote = nullptr;
        setErrorReportHook({});
    }

    RemotePage &open()
    {
        page = std::make_unique<RemotePage>();
        page->resize(499, 330);
        page->show();
        return *page;
    }

    static QString typed(QLineEdit *edit, const QString &text)
    {
        edit->selectAll();
        QTest::keyClick(edit, Qt::Key_Delete);
        QTest::keyClicks(edit, text);
        return text;
    }

    static QByteArray tokenOnDisk() { return readFile(RemoteFiles::tokenPath()).trimmed(); }

    zelvar::testing::WorkingDirectory dir;
    zelvar::testing::ConfigHome config;
    RecordingLink link;
    std::unique_ptr<RemotePage> page;
    QStringList errors;
};

} // namespace

TEST(RemoteAddress, UrlOfThePhonePage)
{
    const QByteArray token = "0123456789abcdef0123456789abcdef";
    const QList<QHostAddress> lan = {QHostAddress("192.168.1.20"), QHostAddress("fe80::1%eth0")};
    const struct
    {
        QString listen;
        QList<QHostAddress> machine;
        QString url;
    } cases[] = {
        {"127.0.0.1", lan, "http://127.0.0.1:8765/?token=" + token},
        {"0.0.0.0", lan, "http://192.168.1.20:8765/?token=" + token},
        {"::", lan, "http://192.168.1.20:8765/?token=" + token},
        {"0.0.0.0", {}, "http://127.0.0.1:8765/?token=" + token},
        {"10.0.0.7", lan, "http://10.0.0.7:8765/?token=" + token},
        {"fe80::1%eth0", {}, "http://[fe80::1]:8765/?token=" + token},
    };
    for (const auto &c : cases)
        EXPECT_EQ(remotePageUrl(c.listen, 8765, token, c.machine), c.url) << c.listen.toStdString();
}

// A remote.ini or remote-token copied, or written by hand, readable by others is narrowed
// to the user alone before anything is read from it, with a line that says so, once.
TEST(RemoteFiles, SecretsReadableByOthersAreNarrowedBeforeUse)
{
    ASSERT_TRUE(QDir().mkpath(RemoteFiles::folder()));
    const QByteArray token(32, 'a');
    zelvar::testing::writeFile(RemoteFiles::settingsPath(), "[MQTT]\r\nMotDePasse=s3cret\r\n");
    zelvar::testing::writeFile(RemoteFiles::tokenPath(), token + '\n');
    for (const QString &path : {RemoteFiles::settingsPath(), RemoteFiles::tokenPath()})
        ::chmod(QFile::encodeName(path).constData(), 0644);
    QStringList narrowed;
    EXPECT_EQ(readRemoteSettings(nullptr, &narrowed).mqtt.password, "s3cret");
    EXPECT_EQ(remoteToken(nullptr, &narrowed), token);
    ASSERT_EQ(narrowed.size(), 2) << narrowed.join(u'\n').toStdString();
    EXPECT_TRUE(narrowed[0].startsWith(RemoteFiles::settingsPath() + " était lisible par d'autres utilisateurs (mode 0644)"));
    for (const QString &path : {RemoteFiles::settingsPath(), RemoteFiles::tokenPath()}) {
        EXPECT_EQ(QFileInfo(path).permissions() & 0x0777, QFileDevice::ReadUser | QFileDevice::WriteUser);
        QFile::remove(path);
    }
}

TEST_F(RemotePageTest, WritesRemoteIniPrivatelyAndShowsItBack)
{
    RemotePage &p = open();
    EXPECT_FALSE(p.Group_Http->isChecked()) << "off by default";
    EXPECT_EQ(p.Combo_Adresse->currentText(), RemotePage::loopbackItem());
    EXPECT_EQ(p.Spin_PortHttp->value(), 8765);
    EXPECT_EQ(p.Spin_PortMqtt->value(), 1883);
    EXPECT_EQ(p.Edit_Noeud->placeholderText(), defaultNodeName());
    EXPECT_EQ(p.Edit_MotDePasse->echoMode(), QLineEdit::Password);

    p.Group_Http->setChecked(true);
    p.Combo_Adresse->setEditText("192.168.1.20");
    p.Spin_PortHttp->setValue(9000);
    typed(p.Edit_Noms, "zelvar.maison, proxy.example");
    p.Group_Mqtt->setChecked(true);
    typed(p.Edit_Serveur, "broker.maison");
    typed(p.Edit_Utilisateur, "domo");
    p.Edit_MotDePasse->setText("s€cret");
    typed(p.Edit_Noeud, "salon-1");
    ASSERT_TRUE(p.changed());
    QString error;
    ASSERT_TRUE(p.apply(&error)) << error.toStdString();

    struct stat info{};
    ASSERT_EQ(::stat(QFile::encodeName(RemoteFiles::settingsPath()).constData(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    EXPECT_FALSE(QFileInfo::exists("Zelvar2.ini")) << "the panel's file is never written";
    ASSERT_TRUE(link.applied) << "the program restarts what changed";
    EXPECT_EQ(link.applied->mqtt.node, "salon_1");
    EXPECT_EQ(p.Edit_Noeud->text(), "salon_1") << "the node as it is used";

    const RemoteSettings read = readRemoteSettings();
    EXPECT_EQ(read, *link.applied);
    EXPECT_EQ(read.http.address, "192.168.1.20");
    EXPECT_EQ(read.http.port, 9000);
    EXPECT_EQ(read.http.extraHosts, QStringList({"zelvar.maison", "proxy.example"}));
    EXPECT_EQ(read.mqtt.password, "s€cret");

    RemotePage &again = open();
    EXPECT_TRUE(again.Group_Http->isChecked());
    EXPECT_EQ(again.Combo_Adresse->currentText(), "192.168.1.20");
    EXPECT_EQ(again.Edit_Serveur->text(), "broker.maison");
    EXPECT_EQ(again.Edit_MotDePasse->text(), "s€cret");
    EXPECT_FALSE(again.changed());
}

TEST_F(RemotePageTest, RefusesWhatCouldNotBeUsedOrKept)
{
    const struct
    {
        std::function<void(RemotePage &)> type;
        const char *why;
    } cases[] = {
        {[](RemotePage &p) { p.Combo_Adresse->setEditText("ma-machine"); }, "Adresse d'écoute invalide"},
        {[](RemotePage &p) { p.Edit_Noms->setText("a.b, c/d"); }, "Nom d'hôte invalide : « c/d »"},
        {[](RemotePage &p) { p.Group_Mqtt->setChecked(true); }, "serveur MQTT"},
        {[](RemotePage &p) { p.Edit_MotDePasse->setText("mot😀"); }, "ne peuvent pas être enregistrés"},
        {[](RemotePage &p) { p.Edit_CA->setText("/nulle/part.pem"); }, "ne peut pas être lu"},
        {[](RemotePage &p) { p.Edit_Noeud->setText("!?"); }, "Nom de nœud invalide"},
    };
    for (const auto &c : cases) {
        RemotePage &p = open();
        c.type(p);
        QString error;
        EXPECT_FALSE(p.apply(&error));
        EXPECT_TRUE(error.contains(QString::fromUtf8(c.why))) << error.toStdString();
        EXPECT_FALSE(QFileInfo::exists(RemoteFiles::settingsPath()));
        EXPECT_FALSE(link.applied);
    }
}

TEST_F(RemotePageTest, ShowsThePhoneAddressAsTextAndQrCode)
{
    RemoteSettings on;
    on.http.enabled = true;
    ASSERT_TRUE(writeRemoteSettings(on));
    link.state.httpListening = true;
    link.state.httpAddress = "127.0.0.1";
    link.state.httpPort = 8765;
    RemotePage &p = open();

    const QByteArray token = tokenOnDisk();
    ASSERT_EQ(token.size(), 32) << "made on first use";
    EXPECT_EQ(p.pageUrl(), "http://127.0.0.1:8765/?token=" + token);
    EXPECT_EQ(p.Label_Adresse->text(), p.pageUrl());
    EXPECT_TRUE(p.Label_Adresse->textInteractionFlags() & Qt::TextSelectableByMouse);
    EXPECT_EQ(p.Label_EtatHttp->text(), "En service sur 127.0.0.1:8765");
    const QImage shown = p.Image_QR->pixmap().toImage();
    const QImage code = qrCodeImage(p.pageUrl().toUtf8());
    ASSERT_FALSE(code.isNull());
    EXPECT_EQ(code.width(), code.height());
    EXPECT_EQ(shown.width(), shown.height());
    EXPECT_EQ(shown.convertToFormat(QImage::Format_Grayscale8), code.scaled(shown.size()))
        << "the code drawn is the address shown";
    EXPECT_TRUE(p.Label_Boucle->text().contains("ne peut pas joindre 127.0.0.1"));
    EXPECT_TRUE(p.Btn_ReseauLocal->isVisible());

    // The offer to listen on the local network is taken at once.
    QTest::mouseClick(p.Btn_ReseauLocal, Qt::LeftButton);
    ASSERT_TRUE(errors.isEmpty()) << errors.join('\n').toStdString();
    EXPECT_EQ(readRemoteSettings().http.address, "0.0.0.0");
    ASSERT_TRUE(link.applied);
    EXPECT_EQ(link.applied->http.address, "0.0.0.0");
    EXPECT_EQ(p.pageUrl(), remotePageUrl("0.0.0.0", 8765, token, machineAddresses()));
    EXPECT_FALSE(p.Btn_ReseauLocal->isVisible());

    // A new token replaces the file's, goes to the running server and into the code.
    QTest::mouseClick(p.Btn_NouveauJeton, Qt::LeftButton);
    const QByteArray renewed = tokenOnDisk();
    EXPECT_NE(renewed, token);
    EXPECT_EQ(link.tokens, QList<QByteArray>{renewed});
    EXPECT_TRUE(p.pageUrl().endsWith("?token=" + renewed));
    EXPECT_EQ(p.Image_QR->pixmap().toImage().convertToFormat(QImage::Format_Grayscale8),
              qrCodeImage(p.pageUrl().toUtf8()).scaled(p.Image_QR->pixmap().size()));
}

TEST_F(RemotePageTest, TheDialogAppliesThePageAndShowsTheHostState)
{
    link.state.httpError = "adresse déjà utilisée";
    link.state.mqtt = "reconnexion dans 4 s";
    QWidget editor;
    editor.show();
    QPointer<TPagesDlg> dialog = TPagesDlg::open({&editor, nullptr});
    RemotePage *p = dialog->Telecommande;
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(dialog->PageControl1->tabText(dialog->PageControl1->indexOf(p)), "Télécommande");
    EXPECT_EQ(p->Label_EtatHttp->text(), "Arrêté : adresse déjà utilisée");
    EXPECT_EQ(p->Label_EtatMqtt->text(), "État : reconnexion dans 4 s");

    p->Group_Http->setChecked(true);
    p->Spin_PortHttp->setValue(8766);
    ASSERT_TRUE(dialog->Btn_Appliquer->isEnabled());
    link.state = RemoteStatus{};
    link.state.httpListening = true;
    link.state.httpAddress = "127.0.0.1";
    link.state.httpPort = 8765;
    QTest::mouseClick(dialog->Btn_Appliquer, Qt::LeftButton);
    EXPECT_TRUE(readRemoteSettings().http.enabled);
    EXPECT_EQ(readRemoteSettings().http.port, 8766);
    EXPECT_EQ(p->Label_EtatHttp->text(), "En service sur 127.0.0.1:8765");
    EXPECT_FALSE(dialog->Btn_Appliquer->isEnabled());
    dialog->PageControl1->setCurrentWidget(p);
    saveShot(*dialog, "remote-page-loopback");
    QTest::mouseClick(p->Btn_ReseauLocal, Qt::LeftButton);
    saveShot(*dialog, "remote-page-network");
    delete dialog;
}

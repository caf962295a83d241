#include "app/credential_store.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <qt5keychain/keychain.h>

#include "app/app_log.h"

namespace
{

const char kEntryKey[] = "credentials";

QJsonObject toJson(const Credential &c)
{
    return QJsonObject{{"user", QString::fromStdString(c.user)},
                       {"password", QString::fromStdString(c.password)}};
}

Credential fromJson(const QJsonObject &o)
{
    Credential c;
    c.user = o.value("user").toString().toStdString();
    c.password = o.value("password").toString().toStdString();
    return c;
}

QString unavailable(const QString &why)
{
    return CredentialStore::tr("Passwords are kept in memory only, until the tool is closed: "
                               "the desktop's secret store is not available (%1).")
        .arg(why);
}

} // namespace

CredentialStore::CredentialStore(QObject *parent)
    : QObject(parent), service(QStringLiteral("corvanta ipc tool"))
{
}

bool CredentialStore::fits(const QString &text)
{
    return text.toUtf8().size() <= kMaxBytes;
}

Credential CredentialStore::own(const QString &endpointKey) const
{
    return cameras.value(endpointKey);
}

std::map<std::string, Credential> CredentialStore::perCamera() const
{
    std::map<std::string, Credential> out;
    for (auto it = cameras.begin(); it != cameras.end(); ++it)
        out[it.key().toUtf8().toStdString()] = it.value();
    return out;
}

void CredentialStore::setCommon(const Credential &credential, bool rememberAll)
{
    generation++;
    shared = credential.empty() ? Credential() : credential;
    remember = rememberAll;
    save();
    emit changed();
}

void CredentialStore::setOwn(const QString &endpointKey, const Credential &credential,
                             bool rememberAll)
{
    generation++;
    if (credential.empty())
        cameras.remove(endpointKey);
    else
        cameras[endpointKey] = credential;
    remember = rememberAll;
    save();
    emit changed();
}

QByteArray CredentialStore::serialize() const
{
    QJsonObject perCam;
    for (auto it = cameras.begin(); it != cameras.end(); ++it)
        perCam[it.key()] = toJson(it.value());
    QJsonObject all{{"common", toJson(shared)}, {"cameras", perCam}};
    return QJsonDocument(all).toJson(QJsonDocument::Compact);
}

bool CredentialStore::deserialize(const QByteArray &data)
{
    const QJsonDocument doc = QJsonDocument::fromJson(data);
    if (!doc.isObject()) return false;
    const QJsonObject all = doc.object();
    Credential c = fromJson(all.value("common").toObject());
    QMap<QString, Credential> perCam;
    const QJsonObject cams = all.value("cameras").toObject();
    for (auto it = cams.begin(); it != cams.end(); ++it) {
        Credential own = fromJson(it.value().toObject());
        if (!own.empty()) perCam[it.key()] = own;
    }
    shared = c;
    cameras = perCam;
    return true;
}

void CredentialStore::save()
{
    if (!remember) {
        // What was kept before goes (only then: a locked store may ask the
        // user to unlock it even for a removal).
        if (!stored) return;
        stored = false;
        auto *job = new QKeychain::DeletePasswordJob(service, this);
        job->setKey(kEntryKey);
        job->setInsecureFallback(false);
        job->start();
        return;
    }
    auto *job = new QKeychain::WritePasswordJob(service, this);
    job->setKey(kEntryKey);
    job->setInsecureFallback(false); // never a plain file
    job->setBinaryData(serialize());
    const int asked = generation;
    connect(job, &QKeychain::Job::finished, this, [this, asked](QKeychain::Job *done) {
        if (done->error() == QKeychain::NoError) {
            stored = true;
            if (asked == generation)
                emit notice(tr("Passwords are kept in the desktop's secret store."));
            return;
        }
        appLog("credentials not remembered: ", done->errorString());
        if (asked == generation) remember = false;
        emit notice(unavailable(done->errorString()));
    });
    job->start();
}

void CredentialStore::load()
{
    auto *job = new QKeychain::ReadPasswordJob(service, this);
    job->setKey(kEntryKey);
    job->setInsecureFallback(false);
    const int asked = generation;
    connect(job, &QKeychain::Job::finished, this, [this, asked](QKeychain::Job *done) {
        auto *read = static_cast<QKeychain::ReadPasswordJob *>(done);
        // Nothing remembered, or no store at all: nothing to say until the
        // user asks to remember.
        if (read->error() != QKeychain::NoError) return;
        if (asked != generation) return; // the user set credentials meanwhile
        if (!deserialize(read->binaryData())) {
            appLog("remembered credentials unreadable, ignored");
            return;
        }
        remember = true;
        stored = true;
        emit changed();
    });
    job->start();
}

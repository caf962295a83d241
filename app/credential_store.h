// The credentials the tool sends: one user name and password for every
// camera, and per-camera ones (by the camera's discovery endpoint key) that
// take precedence. They live in memory; "remember" also keeps them in the
// desktop's secret store (QtKeychain), one entry holding them all, and never
// in a plain file. Without a secret store the tool says so and keeps them in
// memory only. GUI thread only; the store's jobs are asynchronous.
#ifndef APP_CREDENTIAL_STORE_H
#define APP_CREDENTIAL_STORE_H

#include <QMap>
#include <QObject>
#include <QString>

#include <map>
#include <string>

#include "app/device_registry.h"

class CredentialStore : public QObject
{
    Q_OBJECT
  public:
    // User names and passwords are cut by the ONVIF record at this many bytes.
    static const int kMaxBytes = 31;

    explicit CredentialStore(QObject *parent = nullptr);

    // The secret-store entry's service name (tests use their own).
    void setServiceName(const QString &name) { service = name; }

    Credential common() const { return shared; }
    // The camera's own credentials (empty when it uses the common ones).
    Credential own(const QString &endpointKey) const;
    std::map<std::string, Credential> perCamera() const;
    bool remembered() const { return remember; }

    // An empty user name clears. remember: keep them all in the secret store
    // (or remove them from it).
    void setCommon(const Credential &credential, bool rememberAll);
    void setOwn(const QString &endpointKey, const Credential &credential, bool rememberAll);

    // Reads what an earlier run remembered (asynchronous; changed() follows).
    void load();

    // Whether text fits the record's fields.
    static bool fits(const QString &text);

  signals:
    void changed();
    // A sentence for the user about the secret store (shown, never modal).
    void notice(QString text);

  private:
    void save();
    QByteArray serialize() const;
    bool deserialize(const QByteArray &data);

    QString service;
    Credential shared;
    QMap<QString, Credential> cameras;
    bool remember = false;
    bool stored = false; // the secret store holds an entry of ours
    int generation = 0;  // a load that finishes after a change does not undo it
};

#endif

// Finding cameras by address, for subnets that multicast does not reach:
// a unicast WS-Discovery Probe to port 3702 of every address (one address
// every probeIntervalMs, answers taken until probeWaitMs after the last),
// then, for each address that did not answer, a try of the device service
// at http://ADDRESS/onvif/device_service (GetSystemDateAndTime, tryTimeoutMs
// each, parallelTries at once; a refusal for credentials counts as found).
// Whatever answers is handed to the device registry like a discovery answer,
// so it is queried and listed like any discovered camera.
//
// The work runs on threads of its own and reports through signals; cancel()
// stops before the next address; nothing waits for a camera on the GUI
// thread, also not when the search is destroyed. The whole search ends
// within limitMs (addresses not tried by then count as not found).
#ifndef APP_ADDRESS_SEARCH_H
#define APP_ADDRESS_SEARCH_H

#include <QObject>
#include <QStringList>
#include <QVector>

#include <memory>

#include "app/device_registry.h"

class GuiGate;

class AddressSearch : public QObject
{
    Q_OBJECT
  public:
    struct Settings {
        int probeIntervalMs = 5;
        int probeWaitMs = 2000;
        int tryTimeoutMs = 3000;
        int parallelTries = 32;
        int limitMs = 120000;
        int probePort = 3702; // tests only
        int tryPort = 80;     // tests only
    };

    explicit AddressSearch(std::shared_ptr<DeviceRegistry> registry, QObject *parent = nullptr);
    ~AddressSearch() override; // cancels; threads end on their own

    void setSettings(const Settings &s) { settings = s; }
    void start(const QVector<quint32> &addresses);
    void cancel();
    bool isRunning() const { return running; }

  signals:
    // Addresses handled so far (probed, or tried).
    void progress(int done, int total);
    // A camera answered at this address.
    void found(QString address);
    // The addresses where a camera answered, in the order given.
    void finished(QStringList found);

  private:
    struct Shared;
    static void run(std::shared_ptr<Shared> shared);

    std::shared_ptr<DeviceRegistry> registry;
    std::shared_ptr<GuiGate> gate;
    std::shared_ptr<Shared> shared;
    Settings settings;
    bool running = false;
};

#endif

#pragma once

#include "wirerequests.h"

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace Pinrova::Server {

class Metrics;
class PositionStore;
class PresenceModel;

// The one thread that writes the file. Registrations wait for their commit (several that
// arrive together share one), and only then reach the model and get their answer; changed
// positions are written at every interval and with every registration batch. Neither the
// store nor the model is owned; both must outlive this object.
class WriteBehind
{
public:
    using Done = std::function<void(bool stored)>;

    WriteBehind(PositionStore &store, PresenceModel &model, std::chrono::milliseconds interval,
        Metrics *metrics);
    ~WriteBehind();
    WriteBehind(const WriteBehind &) = delete;
    WriteBehind &operator=(const WriteBehind &) = delete;

    // done is called on the writer thread once the registration is committed or failed.
    void submit(RegisterRequest registration, Done done);
    // Writes what is pending and ends the thread; later submissions fail at once.
    void stop();

private:
    struct Pending
    {
        RegisterRequest registration;
        Done done;
    };

    void run();
    void writeBatch(std::vector<Pending> batch);

    PositionStore &store;
    PresenceModel &model;
    const std::chrono::milliseconds interval;
    Metrics *metrics;
    std::mutex mutex;
    std::condition_variable wake;
    std::vector<Pending> pending;
    bool stopping = false;
    std::thread thread;
};

} // namespace Pinrova::Server

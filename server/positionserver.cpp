#include "positionserver.h"

#include "accesslog.h"
#include "positionservice.h"
#include "positionstore.h"
#include "router.h"
#include "writebehind.h"

namespace Pinrova::Server {

PositionServer::PositionServer(PositionServerConfig config)
    : config(std::move(config))
{ }

PositionServer::~PositionServer()
{
    stop();
}

void PositionServer::start()
{
    store = std::make_unique<PositionStore>(config.databasePath);
    presence = std::make_unique<PresenceModel>(config.policy);
    store->load(*presence);
    writer = std::make_unique<WriteBehind>(*store, *presence, config.flushInterval);
    if (config.accessLog)
        log = std::make_unique<AccessLog>();
    router = std::make_unique<Router>();
    service = std::make_unique<PositionService>(*presence, *writer, config.clock);
    service->addRoutes(*router);
    web = std::make_unique<WebServer>(*router, config.limits, log.get());
    web->start(config.host, config.port);
}

void PositionServer::stop()
{
    // The HTTP threads end first so nothing new arrives; the writer then commits what is
    // left, and answers it still gives go to an io_context that is stopped but alive.
    if (web)
        web->stop();
    if (writer)
        writer->stop();
    web.reset();
}

unsigned short PositionServer::port() const
{
    return web ? web->port() : 0;
}

} // namespace Pinrova::Server

#pragma once

namespace Pinrova::Server {

// Raises this process's soft limit on open files toward wanted, never past the hard limit
// (systemd and most shells start services at a soft 1024 for select(), which Asio does not
// use). Returns the soft limit then in force.
long raiseOpenFileLimit(long wanted);

// Descriptors other than connections: standard streams, the SQLite file with its journal and
// shared memory, the listening socket and each HTTP thread's event queue, with room to spare,
// and on a Redis Cluster the store's two connections to each of up to redisMasters masters.
long reservedDescriptors(int threads, int redisMasters = 0);

// The connection cap that fits under an open-file limit with the reserve kept free; at least 1.
int connectionsWithin(long openFileLimit, int wanted, int threads, int redisMasters = 0);

} // namespace Pinrova::Server

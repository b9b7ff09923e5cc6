#pragma once

// The position service's limits and defaults, each defined once with its reason. The
// command line's table (serveroptions.cpp) shows these as the defaults of --help; the
// structures that carry them take their initial values from here.

#include <chrono>
#include <cstddef>
#include <cstdint>

namespace Pinrova::Server::Limits {

using namespace std::chrono_literals;

// --- Listening --------------------------------------------------------------------------

// The app's compiled default address of the service.
constexpr const char *DefaultHost = "127.0.0.1";
constexpr unsigned short DefaultPort = 8080;

// --- HTTP -------------------------------------------------------------------------------

// Request line and headers together: room for a Register with two picture addresses and
// the usual headers, and nothing larger is read before it is refused (431).
constexpr std::size_t MaxHeaderBytes = 8 * 1024;
// A keep-alive connection with no request is closed after this; the app reports every 3 s
// and asks for the list every 5 s, so a live client never waits this long.
constexpr auto IdleTimeout = 30000ms;
// From a request's first byte to its end, and for its answer to be taken: a client that
// trickles bytes cannot hold a connection for longer.
constexpr auto ReadTimeout = 10000ms;
// Open connections at most; at the cap a newcomer takes the place of the one waiting longest.
constexpr int MaxConnections = 4096;
// Pairs in one query string: the app sends at most seven keys; a handful more leaves room
// for stray ones without letting a request allocate without bound.
constexpr std::size_t MaxQueryPairs = 32;
// Time-outs given on the command line end within an hour.
constexpr std::int64_t MaxTimeoutMs = 3600LL * 1000;
// How long a stop waits for answers in flight before closing their connections.
constexpr auto StopGrace = 5000ms;
// A full write queue asks the client to come back after this many seconds.
constexpr int BusyRetrySeconds = 1;

// --- What the app sends -----------------------------------------------------------------

// The handset's map, which the three-key GetUsers describes.
constexpr int DefaultViewWidth = 800;
constexpr int DefaultViewHeight = 480;
// The largest map edge a client may name: beyond any screen, and it bounds the view's area.
constexpr int MaxViewPixels = 4096;
// The deepest zoom level a view may have (the app stops at 17).
constexpr int MaxZoom = 20;
// Bounds of the stored fields, in bytes: they go into every list that shows the person.
constexpr std::size_t MaxIdBytes = 128;
constexpr std::size_t MaxNameBytes = 256;
constexpr std::size_t MaxPictureBytes = 2048;

// --- Who is listed ----------------------------------------------------------------------

// A position this recent shows as online: the app reports every 3 s while it runs.
constexpr std::int64_t OnlineMs = 60 * 1000;
// People silent longer are not listed: a day-old position says little about where they are.
constexpr std::int64_t ForgetMs = 24 * 3600 * 1000;
// Most people in one answer: the app shows at most 100 markers, and the list's size bounds
// the work and the bytes of every GetUsers.
constexpr std::size_t MaxUsers = 150;
// A crowd cell's side in world pixels at the view's zoom: about one marker frame and its gap.
constexpr int CrowdCellPixels = 64;
// People silent longer (no Register, no position) are deleted: a month's absence.
constexpr std::int64_t RetainMs = 30LL * 24 * 3600 * 1000;

// --- Who is asking ---------------------------------------------------------------------

// One Graph API debug_token call, connection included: a slow Facebook costs a 503, not a
// connection held open.
constexpr auto FacebookTimeout = 3000ms;
// Graph API calls at once, and checks waiting for one; beyond, a Register is answered 503.
constexpr int FacebookCallsInFlight = 16;
constexpr std::size_t FacebookChecksWaiting = 1024;
// Verified tokens remembered (a few hundred bytes each), and for how long at most when a token
// never expires, so a revoked one is noticed within the hour.
constexpr std::size_t VerifiedTokens = 100000;
constexpr std::int64_t VerifiedTokenSeconds = 3600;
// A Register that could not ask the network is tried again after this.
constexpr int IdentityRetrySeconds = 5;
// Per session key: the app reports every 3 s and lists every 5 s, well inside 1/s; the burst
// covers a restart's catch-up and a few quick map moves.
constexpr double SetPosPerSecond = 1;
constexpr double SetPosBurst = 5;
constexpr double GetUsersPerSecond = 1;
constexpr double GetUsersBurst = 5;
// Per source address: a person registers once per activation.
constexpr double RegistersPerMinute = 10;
constexpr double RegisterBurst = 10;
// Names (keys, addresses) one rate limit tracks at most; beyond, the oldest are dropped.
constexpr std::size_t RateLimitNames = 200000;

// --- The embedded store -----------------------------------------------------------------

// Changed positions are written to the file this often: a crash loses at most this much.
constexpr auto FlushInterval = 200ms;
// Changed positions not yet written at most; beyond, a report of someone without one waiting
// is refused as busy. Each costs a few bytes, so this bounds how far the memory may run ahead
// of a disk that cannot keep up.
constexpr std::size_t MaxPendingPositions = 500000;
// Registrations waiting for their commit at most; more are refused as busy.
constexpr std::size_t MaxPendingRegistrations = 10000;
// Positions in one commit: a Register waits for at most one such commit.
constexpr std::size_t PositionsPerCommit = 5000;
// GetUsers waiting for a query thread (embedded store) or for the cluster (Redis store):
// beyond, a list is refused as busy rather than queued behind minutes of others.
constexpr std::size_t MaxQueuedLists = 4096;
// The query threads run this much below the HTTP threads, so reports go first.
constexpr int QueryNiceness = 5;
// The sweep of the silent runs every hundredth of the retention time, within these bounds.
constexpr std::int64_t MinSweepIntervalMs = 1000;
constexpr std::int64_t MaxSweepIntervalMs = 3600 * 1000;
// Installations bound to one person at most: phones, tablets and reinstalls come to a few;
// a new Register beyond lets go of the one bound longest ago. Bounds what one person's uids
// cost in memory, in the file and in every Register of theirs.
constexpr std::size_t MaxInstallationsPerPerson = 32;
// A sweep that finds the wall clock moved further than the time that passed since the last
// sweep (by more than ClockJumpMs) deletes nobody when more than 1 / SweepShareDivisor of
// the people would go: a clock set ahead at boot must not delete everyone.
constexpr std::int64_t ClockJumpMs = 60 * 1000;
constexpr std::size_t SweepShareDivisor = 10;

// --- The Redis Cluster store ------------------------------------------------------------

// Every call to the cluster ends within this, so a slow or lost node costs an answer 503
// rather than a connection held open.
constexpr auto RedisTimeout = 1000ms;
// Replicas a registration must reach before it is answered, so a master lost right after the
// answer loses nothing.
constexpr int RedisReplicas = 1;
// Masters the open-file reserve keeps two descriptors for (the largest cluster planned for).
constexpr int RedisMaxMasters = 256;

} // namespace Pinrova::Server::Limits

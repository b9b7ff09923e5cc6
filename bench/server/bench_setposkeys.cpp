// A position report through the embedded store, with and without its session key checked:
// 100,000 people, reports from random installations, each a small move as a walker makes.
#include "api/userlistxml.h"
#include "embedded/embeddedpeoplestore.h"
#include "embedded/peoplefile.h"
#include "store/clock.h"

#include <QTemporaryDir>
#include <QtTest>

#include <random>

using namespace Pinrova::Server;

namespace {

constexpr int People = 100000;
constexpr int ReportsPerRound = 20000;

} // namespace

class BenchSetPosKeys : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void report_data();
    void report();
    void cleanupTestCase();

private:
    QTemporaryDir folder;
    std::unique_ptr<EmbeddedPeopleStore> store;
    std::vector<PositionReport> reports; // in the order they are sent, each with its key
    std::int64_t now = 0;
};

void BenchSetPosKeys::initTestCase()
{
    const std::string path = folder.filePath("people.db").toStdString();
    std::mt19937_64 random(3);
    now = systemClock()();
    std::vector<PersonRecord> people(People);
    {
        PeopleFile file(path);
        std::vector<const PersonRecord *> registrations;
        for (int n = 0; n < People; ++n) {
            PersonRecord &person = people[n];
            for (auto &byte : person.uid.bytes)
                byte = static_cast<std::uint8_t>(random());
            person.id = std::to_string(n + 1);
            person.name = "Person " + person.id;
            person.keyHash.emplace();
            for (auto &byte : *person.keyHash)
                byte = static_cast<unsigned char>(random());
            registrations.push_back(&person);
        }
        std::vector<std::int64_t> ids;
        std::string error;
        QVERIFY2(file.commit({}, registrations, now, ids, error), error.c_str());
    }
    // Nothing is written during the rounds, so the writer's commits do not weigh on either.
    EmbeddedStoreOptions options;
    options.writer.interval = std::chrono::hours(1);
    store = std::make_unique<EmbeddedPeopleStore>(path, options, UserListXml::renderProfile);
    std::uniform_int_distribution<int> anyone(0, People - 1);
    std::uniform_real_distribution<double> step(-0.0001, 0.0001);
    for (int i = 0; i < ReportsPerRound; ++i) {
        const PersonRecord &person = people[anyone(random)];
        reports.push_back({person.uid, 59.94 + step(random), 30.31 + step(random), person.keyHash});
    }
}

void BenchSetPosKeys::report_data()
{
    QTest::addColumn<bool>("checked");
    // Alternating, so a machine that slows down during the run weighs on both.
    for (int round = 1; round <= 3; ++round) {
        QTest::addRow("round %d, without a key", round) << false;
        QTest::addRow("round %d, key checked", round) << true;
    }
}

void BenchSetPosKeys::report()
{
    QFETCH(bool, checked);
    std::vector<PositionReport> sent = reports;
    if (!checked) {
        for (auto &position : sent)
            position.keyHash.reset();
    }
    std::size_t refused = 0;
    const PeopleStore::Done<StoreStatus> done
        = [&refused](StoreStatus status) { refused += status != StoreStatus::Done; };
    QBENCHMARK
    {
        for (const auto &position : sent)
            store->setPosition(position, now, done);
    }
    QCOMPARE(refused, std::size_t(0));
}

void BenchSetPosKeys::cleanupTestCase()
{
    store.reset();
}

QTEST_GUILESS_MAIN(BenchSetPosKeys)
#include "bench_setposkeys.moc"

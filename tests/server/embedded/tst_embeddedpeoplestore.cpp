// The embedded store's session keys, hiding and forgetting, against its real file: what each
// call answers, what a restart keeps, and what is left in the file's bytes after a forget.
#include "api/userlistxml.h"
#include "embedded/embeddedpeoplestore.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <future>
#include <memory>

using namespace Pinrova::Server;

namespace {

constexpr std::int64_t Now = 1700000000000;

Uuid uidOf(int n)
{
    Uuid uid;
    uid.bytes[0] = static_cast<std::uint8_t>(n);
    uid.bytes[6] = 0x40;
    uid.bytes[8] = 0x80;
    return uid;
}

KeyHash keyOf(int n)
{
    KeyHash key {};
    key.fill(static_cast<unsigned char>(n));
    return key;
}

template<typename Result, typename Call> Result waitFor(Call call)
{
    auto promise = std::make_shared<std::promise<Result>>();
    auto result = promise->get_future();
    call([promise](Result value) { promise->set_value(std::move(value)); });
    if (result.wait_for(std::chrono::seconds(10)) != std::future_status::ready)
        return Result {};
    return result.get();
}

// The store on a file in a folder of its own, opened again by restart().
struct OpenStore
{
    explicit OpenStore(const QString &folder)
        : path((folder + "/people.db").toStdString())
    {
        restart();
    }

    void restart()
    {
        store.reset();
        EmbeddedStoreOptions options;
        options.writer.interval = std::chrono::milliseconds(20);
        options.writer.clock = [] { return Now; };
        store = std::make_unique<EmbeddedPeopleStore>(path, options, UserListXml::renderProfile);
    }

    StoreStatus registerPerson(int n, std::optional<KeyHash> key, const std::string &id = {})
    {
        PersonRecord person;
        person.uid = uidOf(n);
        person.id = id.empty() ? "id" + std::to_string(n) : id;
        person.name = "Person " + person.id;
        person.keyHash = key;
        return waitFor<StoreStatus>(
            [&](auto done) { store->registerPerson(std::move(person), std::move(done)); });
    }

    StoreStatus report(int n, std::optional<KeyHash> key, double lat = 10)
    {
        return waitFor<StoreStatus>([&](auto done) {
            store->setPosition({uidOf(n), lat, 20, key}, Now, std::move(done));
        });
    }

    NearestAnswer list(std::optional<KeyHash> key, bool crowds = false)
    {
        NearestQuery query;
        query.view = MapView(10, 20, 10);
        query.keyHash = key;
        query.crowds = crowds;
        query.limit = 1;
        return waitFor<NearestAnswer>([&](auto done) { store->nearest(query, std::move(done)); });
    }

    StoreStatus hide(int n, std::optional<KeyHash> key)
    {
        return waitFor<StoreStatus>(
            [&](auto done) { store->hide(uidOf(n), key, std::move(done)); });
    }

    StoreStatus forget(int n, std::optional<KeyHash> key)
    {
        return waitFor<StoreStatus>(
            [&](auto done) { store->forget(uidOf(n), key, std::move(done)); });
    }

    std::string path;
    std::unique_ptr<EmbeddedPeopleStore> store;
};

// Everyone the answer shows or counts.
std::size_t peopleOf(const NearestAnswer &answer)
{
    std::size_t total = answer.people.size();
    for (const auto &crowd : answer.crowds)
        total += crowd.count;
    return total;
}

} // namespace

class TestEmbeddedPeopleStore : public QObject
{
    Q_OBJECT

private slots:
    void keysDecideWhoMayReportAndList_data();
    void keysDecideWhoMayReportAndList();
    void hiddenUntilTheNextRegister();
    void forgetLeavesNoTraceInTheFile();
};

void TestEmbeddedPeopleStore::keysDecideWhoMayReportAndList_data()
{
    QTest::addColumn<bool>("list"); // a nearest query rather than a report by installation 1
    QTest::addColumn<int>("key"); // 1 and 2: the installations' keys, 11: installation 1's first
    QTest::addColumn<bool>("restart");
    QTest::addColumn<int>("expected");

    // Installation 1 registered with key 11, then again with key 1; installation 2 with key 2;
    // installation 3 without a key.
    const int done = int(StoreStatus::Done);
    const int bad = int(StoreStatus::BadKey);
    QTest::newRow("report with its own key") << false << 1 << false << done;
    QTest::newRow("report with another installation's key") << false << 2 << false << bad;
    QTest::newRow("report with the key its Register replaced") << false << 11 << false << bad;
    QTest::newRow("report with a key nobody has") << false << 99 << false << bad;
    QTest::newRow("report without a key, as open registration does") << false << 0 << false << done;
    QTest::newRow("report with its own key after a restart") << false << 1 << true << done;
    QTest::newRow("report with the replaced key after a restart") << false << 11 << true << bad;
    QTest::newRow("list with anyone's key") << true << 2 << false << done;
    QTest::newRow("list with a replaced key") << true << 11 << false << bad;
    QTest::newRow("list with a key nobody has") << true << 99 << true << bad;
    QTest::newRow("list with a key after a restart") << true << 2 << true << done;
}

void TestEmbeddedPeopleStore::keysDecideWhoMayReportAndList()
{
    QFETCH(bool, list);
    QFETCH(int, key);
    QFETCH(bool, restart);
    QFETCH(int, expected);

    QTemporaryDir folder;
    OpenStore people(folder.path());
    QCOMPARE(people.registerPerson(1, keyOf(11)), StoreStatus::Done);
    QCOMPARE(people.registerPerson(1, keyOf(1)), StoreStatus::Done);
    QCOMPARE(people.registerPerson(2, keyOf(2)), StoreStatus::Done);
    QCOMPARE(people.registerPerson(3, std::nullopt), StoreStatus::Done);
    if (restart)
        people.restart();
    const std::optional<KeyHash> given = key ? std::optional(keyOf(key)) : std::nullopt;
    const StoreStatus status = list ? people.list(given).status : people.report(1, given);
    QCOMPARE(int(status), expected);
    // An installation without a key has nothing a key could match.
    QCOMPARE(people.report(3, keyOf(3)), StoreStatus::BadKey);
}

void TestEmbeddedPeopleStore::hiddenUntilTheNextRegister()
{
    QTemporaryDir folder;
    OpenStore people(folder.path());
    QCOMPARE(people.registerPerson(1, keyOf(1)), StoreStatus::Done);
    QCOMPARE(people.registerPerson(2, keyOf(2)), StoreStatus::Done);
    QCOMPARE(people.report(1, keyOf(1), 10.0001), StoreStatus::Done);
    QCOMPARE(people.report(2, keyOf(2), 10.0002), StoreStatus::Done);
    QCOMPARE(peopleOf(people.list(keyOf(1), true)), std::size_t(2));

    QCOMPARE(people.hide(1, keyOf(2)), StoreStatus::BadKey);
    QCOMPARE(people.hide(1, keyOf(1)), StoreStatus::Done);
    // Neither listed nor counted in a crowd; reports are refused, also after a restart.
    const auto hidden = people.list(keyOf(1), true);
    QCOMPARE(hidden.people.size(), std::size_t(1));
    QCOMPARE(peopleOf(hidden), std::size_t(1));
    QCOMPARE(people.report(1, keyOf(1)), StoreStatus::Hidden);
    people.restart();
    QCOMPARE(peopleOf(people.list(keyOf(1), true)), std::size_t(1));
    QCOMPARE(people.report(1, keyOf(1)), StoreStatus::Hidden);

    // A Register shows them again from their next report.
    QCOMPARE(people.registerPerson(1, keyOf(3)), StoreStatus::Done);
    QCOMPARE(people.report(1, keyOf(3)), StoreStatus::Done);
    QCOMPARE(peopleOf(people.list(keyOf(3), true)), std::size_t(2));
}

void TestEmbeddedPeopleStore::forgetLeavesNoTraceInTheFile()
{
    QTemporaryDir folder;
    OpenStore people(folder.path());
    const std::string id = "forget-me-4242";
    QCOMPARE(people.registerPerson(1, keyOf(1), id), StoreStatus::Done);
    QCOMPARE(people.registerPerson(2, keyOf(2), id), StoreStatus::Done); // a second installation
    QCOMPARE(people.registerPerson(3, keyOf(3)), StoreStatus::Done);
    QCOMPARE(people.report(1, keyOf(1)), StoreStatus::Done);
    QCOMPARE(people.report(3, keyOf(3), 10.0001), StoreStatus::Done);
    QTest::qWait(100); // the positions are written

    QCOMPARE(people.forget(1, keyOf(3)), StoreStatus::BadKey);
    QCOMPARE(people.forget(1, keyOf(1)), StoreStatus::Done);
    QCOMPARE(peopleOf(people.list(keyOf(3), true)), std::size_t(1));
    // Both installations and both keys are gone.
    QCOMPARE(people.report(2, std::nullopt), StoreStatus::UnknownUid);
    QCOMPARE(people.list(keyOf(2)).status, StoreStatus::BadKey);
    QCOMPARE(people.forget(1, std::nullopt), StoreStatus::UnknownUid);

    // Neither the file nor its log holds the name or the id any more, not even in free space.
    QByteArray bytes;
    for (const char *suffix : {"", "-wal"}) {
        QFile file(QString::fromStdString(people.path + suffix));
        if (file.open(QIODevice::ReadOnly))
            bytes += file.readAll();
    }
    QVERIFY(bytes.contains("Person id3"));
    QVERIFY(!bytes.contains(id.c_str()));
    people.restart();
    QCOMPARE(people.report(1, std::nullopt), StoreStatus::UnknownUid);
    QCOMPARE(people.report(3, keyOf(3)), StoreStatus::Done);
}

QTEST_GUILESS_MAIN(TestEmbeddedPeopleStore)
#include "tst_embeddedpeoplestore.moc"

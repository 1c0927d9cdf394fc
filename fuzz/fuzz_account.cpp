// The account subsystem's outside inputs: the technician directory's two
// answers, the keyring entry and "UserConfig.ini". The first byte picks one.
// Checks docs/accounts.md: an answer that is no JSON array gives no entry,
// otherwise at most one entry per element; the search keeps cards in order,
// all of them for an empty text; the chosen service address is never empty;
// a description becomes rich text with every "<" of the server escaped; a
// remembered record read from either store has as many passwords as
// addresses, and a keyring record survives its own encoding.
#include "FuzzSupport.h"

#include <account/Credentials.h>
#include <account/KeychainCredentialStore.h>
#include <account/TechnicianDirectory.h>

#include <QJsonArray>
#include <QJsonDocument>

namespace {

void directory(const QByteArray& bytes)
{
    const int split = bytes.indexOf('\n');
    const QByteArray body = split < 0 ? bytes : bytes.left(split);
    const QString search = split < 0 ? QString() : QString::fromUtf8(bytes.mid(split + 1));
    const QJsonDocument document = QJsonDocument::fromJson(body);
    const int elements = document.isArray() ? document.array().size() : 0;

    const QVector<account::ServiceConfig> configs = account::parseServiceConfigs(body);
    const QVector<account::TechnicianRecord> records = account::parseTechnicians(body);
    BW_FUZZ_CHECK(configs.size() <= elements);
    BW_FUZZ_CHECK(records.size() <= elements);
    BW_FUZZ_CHECK(!account::chooseServiceAddress(configs, false).isEmpty());
    BW_FUZZ_CHECK(!account::chooseServiceAddress(configs, true).isEmpty());

    QVector<account::TechnicianCard> cards;
    for (const account::TechnicianRecord& record : records) {
        cards.append({record.name, record.brief, record.address, record.phone});
        const QString html = account::descriptionRichText(record.brief);
        const QString prefix = QStringLiteral("<p style = 'line-height:30px'>");
        BW_FUZZ_CHECK(html.startsWith(prefix));
        BW_FUZZ_CHECK(!html.mid(prefix.size()).contains(QLatin1Char('<')));
    }
    BW_FUZZ_CHECK(account::filterCards(cards, QString()) == cards);
    const QVector<account::TechnicianCard> found = account::filterCards(cards, search);
    BW_FUZZ_CHECK(found.size() <= cards.size());
    int at = 0;
    for (const account::TechnicianCard& card : found) {
        while (at < cards.size() && !(cards.at(at) == card))
            ++at;
        BW_FUZZ_CHECK(at < cards.size()); // a found card is one of the list, in list order
        ++at;
    }
}

void keyring(const QByteArray& bytes)
{
    account::RememberedCredentials record;
    const bool ok = account::KeychainCredentialStore::decode(bytes, record);
    BW_FUZZ_CHECK(record.users.size() == record.passwords.size());
    if (!ok)
        return;
    account::RememberedCredentials again;
    BW_FUZZ_CHECK(account::KeychainCredentialStore::decode(account::KeychainCredentialStore::encode(record), again));
    BW_FUZZ_CHECK(again == record);
}

void iniFile(const std::string& content)
{
    const std::string path = fuzz::scratchFolder() + "/UserConfig.ini";
    fuzz::writeFile(path, content);
    account::FileCredentialStore store(QString::fromStdString(path));
    account::RememberedCredentials record;
    if (!store.load(record))
        return;
    BW_FUZZ_CHECK(record.users.size() == record.passwords.size());
    BW_FUZZ_CHECK(!record.autoSignInReady() || (record.autoLogin && !record.lastPassword().isEmpty()));
}

} // namespace

// Qt 5.15's JSON parser leaks the container of a key given twice with an
// array or object value (the drivers' catalogue target shows it too). Only
// allocations made inside QJsonDocument::fromJson are excused; matching that
// frame needs full stacks through Qt's code, which has no frame pointers.
extern "C" const char* __asan_default_options()
{
    return "fast_unwind_on_malloc=0";
}
extern "C" const char* __lsan_default_suppressions()
{
    return "leak:QJsonDocument::fromJson\n";
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0)
        return 0;
    const QByteArray rest(reinterpret_cast<const char*>(data + 1), static_cast<int>(size - 1));
    switch (data[0] % 3) {
    case 0:
        directory(rest);
        break;
    case 1:
        keyring(rest);
        break;
    default:
        iniFile(rest.toStdString());
        break;
    }
    return 0;
}

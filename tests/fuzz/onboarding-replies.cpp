// The onboarding service's new-page reply, input "<status> <service URL> <agent>\n<body>" (-1: no reply): a
// page is the agent's, with a token, on the service's origin, printing and stored as itself; an error has
// its kind's text as from a plain reply (nothing of the body but the parser's words); all is deterministic.
#include "FuzzInput.h"

#include "binding/OwnerSetupLinkStore.h"
#include "binding/OwnerSetupReplies.h"
#include "cli/Errors.h"
#include "platform/StrictUrl.h"

#include <QJsonDocument>

using namespace fuzzing;
using namespace tallowmere;
using Kind = platform::HttpOutcome::Kind;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, size_t size)
{
    const QByteArray input(reinterpret_cast<const char *>(data), qsizetype(size));
    const QStringList head = QString::fromUtf8(input.left(input.indexOf('\n'))).split(u' ');
    const std::optional<QUrl> service = strictUrl(head.value(1));
    if (!input.contains('\n') || head.size() != 3 || !service)
        return 0;
    std::optional<OwnerSetupLink> page;
    const auto decode = [&](int status, const QByteArray &body) -> QString {
        try {
            page = owner_setup::newSessionReply(
                {status < 0 ? Kind::transportFailed : Kind::replied, status, body}, *service, head[2]);
            return {};
        } catch (const std::runtime_error &e) {
            QJsonParseError parse;
            QJsonDocument::fromJson(body, &parse);
            return typeid(e).name() + QString::fromUtf8(e.what()).remove(parse.errorString());
        }
    };
    const int status = head[0].toInt();
    const QByteArray body = input.sliced(input.indexOf('\n') + 1);
    const QString error = decode(status, body);
    const std::optional<OwnerSetupLink> result = std::exchange(page, std::nullopt);
    require(decode(status, body) == error && page == result, "deterministic");
    const std::pair<int, QByteArray> plain[] = {{-1, ""}, {409, ""}, {201, "{"}, {500, ""}, {201, "{}"}};
    require(result ||
                (std::ranges::any_of(
                     plain, [&](auto reply) { return decode(reply.first, reply.second) == error; }) &&
                 (error == decode(-1, {})) == (status < 0) && (error == decode(409, {})) == (status == 409)),
            "an error of the reply's kind, as from a plain reply", error);
    if (!result)
        return 0;
    const QUrl &link = result->url;
    const auto port = [](const QUrl &url) { return url.port(url.scheme() == u"https" ? 443 : 80); };
    require(status / 100 == 2 && strictUrl(link.toString(QUrl::FullyEncoded)) == link &&
                link.scheme() == service->scheme() && link.host() == service->host() &&
                port(link) == port(*service) && !link.authority().contains(u'@') &&
                !link.fragment().isEmpty() &&
                link.path(QUrl::FullyDecoded).endsWith(u'/' + head[2] + QStringLiteral("/setup")) &&
                (!result->expiresAt || result->expiresAt->toString(Qt::ISODateWithMs).endsWith(u".000Z")) &&
                OwnerSetupLinkStore::decode(OwnerSetupLinkStore::encode(*result)) == result,
            "a 2xx reply's page: the agent's, on the service's origin, storable", link.toString());
    return 0;
}

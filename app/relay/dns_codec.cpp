// DNS message codec: question name and type, keys, display names, answer test, query building.
#include "app/relay/dns_codec.h"

#include <algorithm>
#include <array>
#include <utility>

namespace quenda {
namespace {

constexpr size_t kQuestionOffset = 12;
constexpr uint8_t kPointerMark = 192;

uint8_t Octet(std::string_view message, size_t offset) {
    return static_cast<uint8_t>(message[offset]);
}

constexpr std::array<std::string_view, 22> kClassicTypes = {
    "",    "A",   "NS",    "MD",    "MF", "CNAME", "SOA", "MB",    "MG",   "MR",   "NULL",
    "WKS", "PTR", "HINFO", "MINFO", "MX", "TXT",   "RP",  "AFSDB", "X.25", "ISDN", "RT"};

constexpr std::pair<uint16_t, std::string_view> kLaterTypes[] = {
    {22, "NSAP"},       {23, "NSAP-PTR"},   {24, "SIG"},    {25, "KEY"},    {26, "PX"},
    {27, "GPOS"},       {28, "AAAA"},       {29, "LOC"},    {30, "NXT"},    {33, "SRV"},
    {35, "NAPTR"},      {36, "KX"},         {37, "CERT"},   {38, "A6"},     {39, "DNAME"},
    {41, "OPT"},        {42, "APL"},        {43, "DS"},     {44, "SSHFP"},  {45, "IPSECKEY"},
    {46, "RRSIG"},      {47, "NSEC"},       {48, "DNSKEY"}, {49, "DHCID"},  {50, "NSEC3"},
    {51, "NSEC3PARAM"}, {52, "TLSA"},       {53, "SMIMEA"}, {55, "HIP"},    {59, "CDS"},
    {60, "CDNSKEY"},    {61, "OPENPGPKEY"}, {62, "CSYNC"},  {63, "ZONEMD"}, {64, "SVCB"},
    {65, "HTTPS"},      {99, "SPF"},        {249, "TKEY"},  {250, "TSIG"},  {251, "IXFR"},
    {252, "AXFR"},      {253, "MAILB"},     {254, "MAILA"}, {255, "ANY"},   {256, "URI"},
    {257, "CAA"}};

}  // namespace

std::string GetQueryName(std::string_view message) {
    const size_t size = message.size();
    std::string name;
    size_t offset = kQuestionOffset;
    // Stop at the end marker, a pointer, or the message's last octet.
    while (offset + 1 < size) {
        const uint8_t length = Octet(message, offset);
        if (length == 0 || length >= kPointerMark) break;
        name.append(message.substr(offset + 1, length));
        name.push_back('.');
        offset += length + 1u;
    }
    if (offset >= size || Octet(message, offset) != 0 || name.empty()) {
        return std::string(kNotDnsStruct);
    }
    name.pop_back();
    return name;
}

std::optional<size_t> QuestionNameEnd(std::string_view message) {
    size_t offset = kQuestionOffset;
    while (offset < message.size()) {
        const uint8_t length = Octet(message, offset);
        if (length == 0) return offset + 1;
        if (length >= kPointerMark) return std::nullopt;
        offset += length + 1u;
    }
    return std::nullopt;
}

bool IsDnsQuery(std::string_view message) {
    constexpr size_t kShortestQuery = kQuestionOffset + 1 + 4;
    if (message.size() < kShortestQuery) return false;
    if ((Octet(message, 2) & 0x80) != 0) return false;
    if (Octet(message, 4) == 0 && Octet(message, 5) == 0) return false;
    const std::optional<size_t> end = QuestionNameEnd(message);
    return end && *end + 4 <= message.size();
}

std::string GetQueryType(std::string_view message) {
    // The type follows the name's last label, whatever octets the labels hold.
    const std::optional<size_t> end = QuestionNameEnd(message);
    if (!end) return "-";
    const size_t size = message.size();
    const uint16_t high = *end < size ? Octet(message, *end) : 0;
    const uint16_t low = *end + 1 < size ? Octet(message, *end + 1) : 0;
    return QueryTypeName(static_cast<uint16_t>(high << 8 | low));
}

std::string QueryTypeName(uint16_t code) {
    if (code >= 1 && code <= 21) return std::string(kClassicTypes[code]);
    for (const auto& [known, name] : kLaterTypes) {
        if (known == code) return std::string(name);
    }
    return "TYPE" + std::to_string(code);
}

std::string TypeName(int code) {
    if (code < 1 || code > 21) return "A";
    return std::string(kClassicTypes[static_cast<size_t>(code)]);
}

int TypeCode(std::string_view name) {
    for (size_t code = 1; code < kClassicTypes.size(); ++code) {
        if (kClassicTypes[code] == name) return static_cast<int>(code);
    }
    return 1;
}

std::string MakeCacheKey(std::string_view message) {
    return MakeCacheKey(GetQueryName(message), GetQueryType(message));
}

std::string MakeCacheKey(std::string_view name, std::string_view type) {
    std::string key;
    key.reserve(std::max(kCacheKeyLength, name.size() + type.size()));
    key.append(name);
    if (name.size() + type.size() < kCacheKeyLength && !name.ends_with(' ')) {
        key.append(kCacheKeyLength - name.size() - type.size(), ' ');
    }
    key.append(type);
    return key;
}

std::string ShowName(std::string_view nameOrKey) {
    std::string_view text = nameOrKey;
    // A space among the first four characters is part of a short name's key and stays.
    if (const size_t space = text.find(' '); space != std::string_view::npos && space >= 4) {
        text = text.substr(0, space);
    }
    constexpr std::string_view kReverseZone = "in-addr.arpa";
    if (!text.ends_with(kReverseZone)) return std::string(text);

    std::string_view labels[4];
    std::string_view rest = text;
    for (auto& label : labels) {
        const size_t dot = rest.find('.');
        if (dot == std::string_view::npos) break;
        label = rest.substr(0, dot);
        rest.remove_prefix(dot + 1);
    }
    std::string shown;
    shown.reserve(text.size());
    shown.append(labels[3]).append(".").append(labels[2]).append(".");
    shown.append(labels[1]).append(".").append(labels[0]);
    return shown;
}

std::string EscapeControlOctets(std::string_view text) {
    std::string escaped;
    escaped.reserve(text.size());
    for (const char c : text) {
        const auto octet = static_cast<uint8_t>(c);
        if (octet >= 32 && octet != 127) {
            escaped.push_back(c);
            continue;
        }
        escaped.push_back('\\');
        escaped.push_back(static_cast<char>('0' + octet / 100));
        escaped.push_back(static_cast<char>('0' + octet / 10 % 10));
        escaped.push_back(static_cast<char>('0' + octet % 10));
    }
    return escaped;
}

bool IsGoodAnswer(std::string_view reply) {
    if (reply.size() < 8) return false;
    if ((Octet(reply, 3) & 0x0F) != 0) return false;
    return Octet(reply, 6) != 0 || Octet(reply, 7) != 0;
}

std::string AnswerFromCache(std::string_view stored, std::string_view request) {
    std::string answer(request.substr(0, 2));
    if (stored.size() > 2) answer.append(stored.substr(2));
    return answer;
}

std::string EncodeName(std::string_view dotted) {
    std::string wire;
    wire.reserve(dotted.size() + 2);
    for (;;) {
        const size_t dot = dotted.find('.');
        const std::string_view label = dotted.substr(0, dot);
        wire.push_back(static_cast<char>(label.size() & 0xFF));
        wire.append(label);
        if (dot == std::string_view::npos) break;
        dotted.remove_prefix(dot + 1);
    }
    wire.push_back('\0');
    return wire;
}

std::string BuildQuery(const QueryRecord& record) {
    std::string query;
    query.reserve(16 + record.qName.size());
    const auto put = [&query](const uint8_t(&field)[2]) {
        query.push_back(static_cast<char>(field[0]));
        query.push_back(static_cast<char>(field[1]));
    };
    put(record.id);
    put(record.flags);
    put(record.qdCount);
    put(record.anCount);
    put(record.nsCount);
    put(record.arCount);
    query += record.qName;
    put(record.qType);
    put(record.qClass);
    return query;
}

}  // namespace quenda

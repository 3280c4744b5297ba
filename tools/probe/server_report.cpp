#include "tools/probe/server_report.h"

#include "definition/limits.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <memory>

namespace probe {
namespace {

class Reader {
public:
    Reader(HostModule& module, IServer* server) : m_(module), rt_(module.runtime()), s_(server) {}

    void check(HRESULT hr, const std::string& step)
    {
        if (FAILED(hr)) throw StepFailure{step, hr, m_.take_error_record()};
    }

    // A text property, or ServerCategory.
    template <class Get>
    std::string text(const char* step, Get get)
    {
        RuntimeString s(rt_);
        check((s_->*get)(s.address()), step);
        return s.utf8();
    }

    RuntimeString make(const std::string& ascii)
    {
        std::vector<OLECHAR> units(ascii.begin(), ascii.end());
        return RuntimeString(rt_,
                             rt_.SysAllocStringLen(units.data(), static_cast<UINT>(units.size())));
    }

    std::vector<std::string> elements(_Collection* list, const char* step)
    {
        LONG count = 0;
        check(list->Count(&count), std::string(step) + " Count");
        std::vector<std::string> out;
        for (LONG i = 1; i <= count; ++i) {
            VARIANT index, value;
            rt_.VariantInit(&index);
            rt_.VariantInit(&value);
            index.vt = VT_I4;
            index.lVal = i;
            check(list->Item(&index, &value),
                  std::string(step) + " Item(" + std::to_string(i) + ")");
            out.push_back(value.vt == VT_BSTR
                              ? utf8_of(value.bstrVal, rt_.SysStringLen(value.bstrVal))
                              : "<not text>");
            rt_.VariantClear(&value);
        }
        return out;
    }

    Limit limit(const std::string& guid)
    {
        RuntimeString s = make(guid);
        VARIANT_BOOL family_total = 0;
        LONG maximum = 0;
        check(s_->GetMaximumLimit(s.address(), &family_total, &maximum),
              "IServer::GetMaximumLimit(" + guid + ")");
        return {guid, maximum, family_total != 0};
    }

    bool has_list(const std::string& parent)
    {
        RuntimeString s = make(parent);
        _Collection* list = nullptr;
        check(s_->GetAttachableGUIDs(s.address(), &list),
              "IServer::GetAttachableGUIDs(" + parent + ")");
        return Ref<_Collection>(list) != nullptr;
    }

    Attachment attachable(const std::string& parent, const std::string& attachment)
    {
        RuntimeString p = make(parent), a = make(attachment);
        LONG result = -1;
        check(s_->IsAttachable(p.address(), a.address(), &result),
              "IServer::IsAttachable(" + parent + ", " + attachment + ")");
        return {parent, attachment, result};
    }

    HostModule& m_;
    const Runtime& rt_;
    IServer* s_;
};

}  // namespace

ServerReport read_server(HostModule& module, IServer* server)
{
    Reader r(module, server);
    ServerReport report;
    report.server_category = r.text("IServer::ServerCategory", &IServer::ServerCategory);
    report.name = r.text("IServer::Name", &IServer::get_Name);
    report.description = r.text("IServer::Description", &IServer::get_Description);
    report.release_number = r.text("IServer::ReleaseNumber", &IServer::get_ReleaseNumber);
    report.server_guid = r.text("IServer::ServerGUID", &IServer::get_ServerGUID);

    _Collection* list = nullptr;
    r.check(server->DefaultComponents(&list), "IServer::DefaultComponents");
    Ref<_Collection> catalogue(list);
    const std::vector<std::string> guids = r.elements(list, "DefaultComponents");
    for (const std::string& guid : guids) report.components.push_back(r.limit(guid));

    // The probe knows the limit table's keys only to ask about the rows that
    // the catalogue does not name; the answers come from the module.
    for (const orvanta::LimitRow& row : orvanta::kLimitRows) {
        const std::string guid =
            utf8_of(reinterpret_cast<const OLECHAR*>(row.guid.data()), row.guid.size());
        if (std::find(guids.begin(), guids.end(), guid) == guids.end())
            report.outside_catalogue.push_back(r.limit(guid));
    }

    for (const std::string& guid : guids) report.parents_with_list += r.has_list(guid) ? 1 : 0;
    if (guids.size() >= 2) {
        report.attachments.push_back(r.attachable(guids[0], guids[1]));
        report.attachments.push_back(r.attachable(guids[1], guids[0]));
        report.attachments.push_back(r.attachable(guids[0], guids[0]));
    }
    report.attachments.push_back(r.attachable(report.server_guid, guids.empty() ? "" : guids[0]));
    report.attachments.push_back(r.attachable("", ""));
    return report;
}

std::string json_string(const std::string& s)
{
    std::string out = "\"";
    for (unsigned char c : s) {
        if (c == '"' || c == '\\') out += '\\';
        char buf[8];
        std::snprintf(buf, sizeof buf, c < 0x20 ? "\\u%04x" : "%c", c);
        out += buf;
    }
    return out + "\"";
}

namespace {

std::string json_limit(const Limit& l, const std::string& position)
{
    return "{" + position + "\"guid\": " + json_string(l.guid) +
           ", \"maximum\": " + std::to_string(l.maximum) +
           ", \"familyTotal\": " + (l.family_total ? "true" : "false") + "}";
}

const char* attach_name(int32_t result)
{
    const char* const kNames[] = {"AttachListed", "AttachNotListed", "AttachNoList"};
    return result >= 0 && result <= 2 ? kNames[result] : "?";
}

// The identity's properties, labelled.
std::array<std::pair<const char*, const std::string*>, 5> identity_of(const ServerReport& r)
{
    return {{{"ServerCategory", &r.server_category},
             {"Name", &r.name},
             {"Description", &r.description},
             {"ReleaseNumber", &r.release_number},
             {"ServerGUID", &r.server_guid}}};
}

std::string quoted_or_empty(const std::string& s) { return s.empty() ? "\"\"" : s; }

}  // namespace

std::string as_json(const ServerReport& r)
{
    std::string out = "{\n  \"identity\": {\n";
    for (const auto& [label, value] : identity_of(r))
        out += "    \"" + std::string(label) + "\": " + json_string(*value) + ",\n";
    out.erase(out.size() - 2, 1);  // no comma after the last
    out += "  },\n  \"defaultComponents\": [\n";
    for (std::size_t i = 0; i < r.components.size(); ++i)
        out += "    " +
               json_limit(r.components[i], "\"position\": " + std::to_string(i + 1) + ", ") +
               (i + 1 < r.components.size() ? ",\n" : "\n");
    out += "  ],\n  \"limitsOutsideCatalogue\": [\n";
    for (std::size_t i = 0; i < r.outside_catalogue.size(); ++i)
        out += "    " + json_limit(r.outside_catalogue[i], "") +
               (i + 1 < r.outside_catalogue.size() ? ",\n" : "\n");
    out += "  ],\n  \"attachment\": {\n";
    out += "    \"parentsWithList\": " + std::to_string(r.parents_with_list) + ",\n";
    out += "    \"isAttachable\": [\n";
    for (std::size_t i = 0; i < r.attachments.size(); ++i) {
        const Attachment& a = r.attachments[i];
        out += "      {\"parent\": " + json_string(a.parent) +
               ", \"attachment\": " + json_string(a.attachment) +
               ", \"result\": " + std::to_string(a.result) + "}" +
               (i + 1 < r.attachments.size() ? ",\n" : "\n");
    }
    out += "    ]\n  }\n}\n";
    return out;
}

std::string as_table(const ServerReport& r)
{
    char line[256];
    std::string out = "Identity\n";
    for (const auto& [label, value] : identity_of(r)) {
        std::snprintf(line, sizeof line, "  %-15s %s\n", label, value->c_str());
        out += line;
    }
    std::snprintf(line, sizeof line, "\nDefault components (%zu)\n  %4s  %-38s  %7s  %s\n",
                  r.components.size(), "Pos", "Component GUID", "Maximum", "FamilyTotal");
    out += line;
    for (std::size_t i = 0; i < r.components.size(); ++i) {
        const Limit& l = r.components[i];
        std::snprintf(line, sizeof line, "  %4zu  %-38s  %7d  %s\n", i + 1, l.guid.c_str(),
                      static_cast<int>(l.maximum), l.family_total ? "True" : "False");
        out += line;
    }
    std::snprintf(line, sizeof line, "\nLimit rows outside the catalogue (%zu)\n  %-38s  %7s  %s\n",
                  r.outside_catalogue.size(), "Component GUID", "Maximum", "FamilyTotal");
    out += line;
    for (const Limit& l : r.outside_catalogue) {
        std::snprintf(line, sizeof line, "  %-38s  %7d  %s\n", l.guid.c_str(),
                      static_cast<int>(l.maximum), l.family_total ? "True" : "False");
        out += line;
    }
    std::snprintf(line, sizeof line,
                  "\nAttachment\n  Catalogue entries with an attachment list: %d of %zu\n",
                  r.parents_with_list, r.components.size());
    out += line;
    for (const Attachment& a : r.attachments) {
        std::snprintf(line, sizeof line, "  IsAttachable(%s, %s) = %d (%s)\n",
                      quoted_or_empty(a.parent).c_str(), quoted_or_empty(a.attachment).c_str(),
                      static_cast<int>(a.result), attach_name(a.result));
        out += line;
    }
    return out;
}

}  // namespace probe

// Everything the probe learns from one instance, as plain data.
#pragma once

#include "tools/probe/host_module.h"

#include <cstdint>
#include <string>
#include <vector>

namespace probe {

struct Limit {
    std::string guid;
    int32_t maximum;
    bool family_total;
};

struct Attachment {
    std::string parent;
    std::string attachment;
    int32_t result;
};

struct ServerReport {
    std::string server_category, name, description, release_number, server_guid;
    std::vector<Limit> components;         // the catalogue, in order, with limits
    std::vector<Limit> outside_catalogue;  // limit rows naming other GUIDs
    int parents_with_list = 0;             // catalogue entries with an attachment list
    std::vector<Attachment> attachments;
};

// Calls every operation of the instance. Throws StepFailure.
ServerReport read_server(HostModule& module, IServer* server);

std::string as_table(const ServerReport& report);
std::string as_json(const ServerReport& report);
// A JSON string literal of UTF-8 text.
std::string json_string(const std::string& s);

}  // namespace probe

// brxtool changer: a tape library's elements, and moves between them.
#include <cstdio>

#include "brxtool/changer_text.h"
#include "brxtool/commands.h"
#include "brxtool/element_names.h"
#include "copy/json_text.h"

namespace {

const char help[] =
    "Usage: brxtool changer status CHANGER [--json] [--initialize]\n"
    "       brxtool changer move CHANGER FROM TO\n"
    "       brxtool changer load CHANGER SLOT [DRIVE]\n"
    "       brxtool changer unload CHANGER DRIVE [SLOT]\n"
    "CHANGER is \\\\.\\changerN (on Linux also /dev/sgN or iscsi://HOST[:PORT]/IQN/LUN).\n"
    "Elements: slot:N and ie:N (import/export) count from 1, drive:N and transport:N from 0;\n"
    "a plain number is an element address.\n"
    "  status        every drive, slot, import/export and transport element: full or empty, the\n"
    "                barcode, where a loaded tape came from, the drive's identifier\n"
    "  --json        the same as one document\n"
    "  --initialize  have the changer scan its elements first (INITIALIZE ELEMENT STATUS)\n"
    "  load          moves the tape in SLOT into DRIVE (drive:0 when not given)\n"
    "  unload        moves the tape in DRIVE to SLOT (where it came from when not given); the\n"
    "                drive must have ejected it\n"
    "Exit status: 0 done, 1 the changer refused, 2 trouble.\n";

const element_type_t listed_types[] = {element_type_t::drive, element_type_t::slot, element_type_t::portal,
                                       element_type_t::transport};

std::string exception_text(const element_t& element)
{
    char text[16];
    snprintf(text, sizeof text, "%02x/%02x", element.asc, element.ascq);
    return text;
}

// A tape out of its slot (in a drive, the transport or the import/export element) and where it came from.
bool away(const element_t& element) { return element.full && element.source_valid && element.type != element_type_t::slot; }

std::string json_or_null(const std::string& text) { return text.empty() ? "null" : json_string(text); }

std::string element_json(const element_layout_t& layout, const element_t& element)
{
    return "{\"name\": " + json_string(element_name(layout, element.address)) + ", \"type\": \"" +
           type_word(element.type) + "\", \"address\": " + std::to_string(element.address) +
           ", \"full\": " + (element.full ? "true" : "false") + ", \"barcode\": " + json_or_null(element.volume_tag) +
           ", \"source\": " + (away(element) ? json_string(element_name(layout, element.source)) : "null") +
           ", \"cleaning\": " + (element.medium_type == cleaning_medium ? "true" : "false") +
           ", \"identifier\": " + json_or_null(element.identifier) +
           ", \"exception\": " + (element.exception ? json_string(exception_text(element)) : "null") + "}";
}

std::string element_line(const element_layout_t& layout, const element_t& element)
{
    char head[64];
    snprintf(head, sizeof head, "%-12s element %-5u %s", element_name(layout, element.address).c_str(),
             element.address, element.full ? "full " : "empty");
    std::string line = head;
    if (!element.volume_tag.empty())
        line += "  " + element.volume_tag;
    if (element.medium_type == cleaning_medium)
        line += "  cleaning";
    if (away(element))
        line += "  from " + element_name(layout, element.source);
    if (!element.identifier.empty())
        line += "  id " + element.identifier;
    if (element.exception)
        line += "  exception " + exception_text(element);
    return line;
}

int status(const arguments_t& arguments, changer_t& changer)
{
    const std::string& name = arguments.positional[1];
    if (arguments.has("initialize")) {
        scsi_answer_t answer = changer.initialize();
        if (!answer.good()) {
            fprintf(stderr, "brxtool: %s: INITIALIZE ELEMENT STATUS failed: %s\n", name.c_str(), answer_text(answer).c_str());
            return exit_trouble;
        }
    }
    std::vector<element_t> elements;
    if (!read_changer_elements(name, changer, elements))
        return exit_trouble;
    bool json = arguments.has("json");
    const char* separator = "";
    if (json)
        printf("{\"changer\": %s, \"elements\": [", json_string(name).c_str());
    for (element_type_t type : listed_types)
        for (const element_t& element : elements)
            if (element.type == type) {
                if (json)
                    printf("%s\n  %s", separator, element_json(changer.layout, element).c_str());
                else
                    printf("%s\n", element_line(changer.layout, element).c_str());
                separator = ",";
            }
    if (json)
        printf("\n]}\n");
    return exit_same;
}

const element_t* find_element(const std::vector<element_t>& elements, uint16_t address)
{
    for (const element_t& element : elements)
        if (element.address == address)
            return &element;
    return nullptr;
}

// Where unload takes a tape: the slot named, else its source, else the first empty slot.
bool unload_target(const std::vector<element_t>& elements, uint16_t drive, uint16_t& slot)
{
    const element_t* loaded = find_element(elements, drive);
    if (loaded != nullptr && loaded->source_valid) {
        slot = loaded->source;
        return true;
    }
    for (const element_t& element : elements)
        if (element.type == element_type_t::slot && !element.full) {
            slot = element.address;
            return true;
        }
    return false;
}

bool address_of(const changer_t& changer, const std::string& text, element_type_t wanted, uint16_t& address)
{
    if (element_address(changer.layout, text, address) &&
        (wanted == element_type_t::all || element_type_at(changer.layout, address) == wanted ||
         (wanted == element_type_t::slot && element_type_at(changer.layout, address) == element_type_t::portal)))
        return true;
    fprintf(stderr, "brxtool: changer: no %s element '%s' in this changer\n",
            wanted == element_type_t::all ? "such" : type_word(wanted), text.c_str());
    return false;
}

// move, load and unload: FROM and TO as the action names them.
bool move_ends(const arguments_t& arguments, changer_t& changer, uint16_t& from, uint16_t& to)
{
    const std::string& action = arguments.positional[0];
    const std::vector<std::string>& given = arguments.positional;
    if (action == "move")
        return address_of(changer, given[2], element_type_t::all, from) &&
               address_of(changer, given[3], element_type_t::all, to);
    const element_type_t first = action == "load" ? element_type_t::slot : element_type_t::drive;
    const element_type_t second = action == "load" ? element_type_t::drive : element_type_t::slot;
    if (!address_of(changer, given[2], first, from))
        return false;
    if (given.size() == 4)
        return address_of(changer, given[3], second, to);
    if (action == "load")
        return ordinal_address(changer.layout, element_type_t::drive, 0, to);
    std::vector<element_t> elements;
    if (!read_changer_elements(given[1], changer, elements))
        return false;
    if (unload_target(elements, from, to))
        return true;
    fprintf(stderr, "brxtool: changer: %s came from no known slot and no slot is empty\n", given[2].c_str());
    return false;
}

int move(const arguments_t& arguments, changer_t& changer)
{
    uint16_t from = 0, to = 0;
    if (!move_ends(arguments, changer, from, to))
        return exit_trouble;
    scsi_answer_t answer = changer.move(from, to);
    const std::string path = element_name(changer.layout, from) + " to " + element_name(changer.layout, to);
    if (answer.good()) {
        printf("moved %s\n", path.c_str());
        return exit_same;
    }
    fprintf(stderr, "brxtool: %s: cannot move %s: %s\n", arguments.positional[1].c_str(), path.c_str(),
            answer_text(answer).c_str());
    return answer.kind == answer_kind_t::sense ? exit_different : exit_trouble;
}

int run(const arguments_t& arguments)
{
    const std::vector<std::string>& given = arguments.positional;
    const std::string action = given.empty() ? "" : given[0];
    const bool sized = (action == "status" && given.size() == 2) || (action == "move" && given.size() == 4) ||
                       ((action == "load" || action == "unload") && (given.size() == 3 || given.size() == 4));
    if (!sized) {
        const std::string why = action.empty() ? "no action given" : "wrong arguments for " + action;
        fprintf(stderr, "brxtool: changer: %s\n%s", why.c_str(), help);
        return exit_trouble;
    }
    changer_t changer;
    if (!open_changer(given[1], changer))
        return exit_trouble;
    return action == "status" ? status(arguments, changer) : move(arguments, changer);
}

}  // namespace

const command_t changer_command{"changer", help, {{"json", false}, {"initialize", false}}, any_count, run};

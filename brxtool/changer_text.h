// How brxtool words a changer's or a drive's answers, and opens a changer with a message.
#pragma once

#include <string>

#include "changer/changer.h"

// "sense 05/3b/0d (medium destination element full)", "status 0x18", or the system's reason.
std::string answer_text(const scsi_answer_t& answer);
// Opens and checks the changer; prints why not, as "brxtool: NAME: reason".
bool open_changer(const std::string& name, changer_t& changer);
// Every element; prints why not.
bool read_changer_elements(const std::string& name, changer_t& changer, std::vector<element_t>& elements);

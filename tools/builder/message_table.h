#pragma once
// Builds the package's message table from the built-in English texts and the project's
// languages, and checks it.
//
// Fallback rule: a language that leaves a number out gets the English text for it: the
// project's own text for the language named "English" when it has one, else the
// built-in one. So every language is complete, and a project may list only the texts
// it translates. Numbers the engine formats must keep the conversions of the built-in
// text ("%s", "%c", "%d") in the same order, since the engine passes exactly those.

#include <string>
#include <vector>

#include "package/install_settings.h"
#include "project.h"

namespace halvard::builder {

// Fills LanguageNames and Messages; licence and read-me texts of the project fill
// messages 63 and 64 of their language where the project does not set them itself.
// False, with errors naming the language and message, when the table is not sound.
bool build_message_table(const std::vector<LanguageTexts>& languages, InstallSettings& settings,
                         std::vector<std::string>& errors);

// The printf conversions of a text in order ("%s%d"); "%%" is none.
std::string printf_conversions(const std::string& text);

}  // namespace halvard::builder

#include "builtin_messages.h"

#include <algorithm>

namespace halvard::builder {
namespace {

// Plain, short texts. "<product>" is replaced by the engine when it shows a text.
constexpr BuiltinMessage messages[] = {
    {0, "<product> Setup", ""},
    {1, "This program installs <product> on your computer.\r\n\r\nIt is best to close other programs before you go on.", ""},
    {2, "Earlier Installation Found", ""},
    {3, "<product> is already installed in this folder:", ""},
    {4, "This version of <product> is already installed in this folder:", ""},
    {5, "An older version of <product> is installed in this folder:", ""},
    {6, "A newer version of <product> is installed in this folder:", ""},
    {7, "Do you want to install over it?", ""},
    {8, "Preparing the installation...", ""},
    {9, "An earlier version of <product> must be uninstalled before this version can be installed.", ""},
    {10, "Some items could not be removed:\r\n\r\n%s", "%s"},
    {11, "Choose the folder to install <product> in:", ""},
    {12, "%s must be installed before <product> can be installed.", "%s"},
    {13, "This installer is damaged and cannot go on. This usually happens when a download breaks off.\r\n\r\n"
         "Delete the installer file and download it again. If the problem stays, check this computer for viruses.\r\n\r\n"
         "Error code: %d", "%d"},
    {14, "This is not a valid folder name:", ""},
    {15, "Uninstallation Complete", ""},
    {16, "Drive %c: does not exist.", "%c"},
    {17, "Choose a folder, not the root of a drive.", ""},
    {18, "Choose a folder inside %s, not that folder itself.", "%s"},
    {19, "The installation needs %s on drive %c:, but only %s is free.\r\n\r\nInstall anyway?", "%s%c%s"},
    {20, "<product> Setup", ""},
    {21, "<product> Setup", ""},
    {22, "The folder %s already exists.\r\n\r\nInstall <product> in it?", "%s"},
    {23, "The folder %s will be created.\r\n\r\nContinue?", "%s"},
    {24, "Installation Folder", ""},
    {25, "Could not create the folder", ""},
    {28, "Do you want to stop the installation?", ""},
    {29, "Reading the installation data...", ""},
    {30, "Removing <product>...", ""},
    {31, "Could not create", ""},
    {32, "Finishing the installation...", ""},
    {33, "Uninstall <product>", ""},
    {34, "<product> has been removed from this computer.", ""},
    {35, "Remove File", ""},
    {36, "The installation is complete.", ""},
    {37, "The computer must restart to finish the installation. Restart now?", ""},
    {38, "%s", "%s"},
    {39, "Please wait while <product> is installed.", ""},
    {40, "Some parts could not be installed. The details are in the log file:\r\n%s\r\n\r\nDo you want to view it now?", "%s"},
    {41, "Installation Problems", ""},
    {42, "<product> has been installed.", ""},
    {43, "Installation Complete", ""},
    {44, "License Agreement", ""},
    {45, "I &Agree", ""},
    {46, "&Decline", ""},
    {47, "Please read the license agreement. To install <product> you must accept it.", ""},
    {48, "&Next", ""},
    {49, "Cancel", ""},
    {50, "Read Me", ""},
    {51, "Please read the following information.", ""},
    {52, "&Browse...", ""},
    {53, "Do you want to remove <product> and all of its parts from this computer?", ""},
    {54, "Installing files...", ""},
    {55, "Uninstall <product>", ""},
    {56, "Remove the font %s?", "%s"},
    {57, "Remove Font", ""},
    {58, "Could not remove", ""},
    {59, "Remove %s?", "%s"},
    {61, "<product> cannot be installed on %s.", "%s"},
    {62, "Unpacking files...", ""},
    {63, "", ""},  // licence text: the project's licence, when it has one
    {64, "", ""},  // read-me text: the project's read-me, when it has one
    {65, "<product> Setup", ""},
    {66, "Network folders cannot be used. Choose a folder on a local drive.", ""},
    {67, "Removing fonts...", ""},
    {68, "Removing the log file...", ""},
    {69, "Removing registry entries...", ""},
    {70, "Running the uninstall commands...", ""},
    {71, "Please wait while <product> is removed.", ""},
    {72, "The installed version of <product> is older than this installer can upgrade. Continue anyway?", ""},
    {73, "No file can be created in the folder %s. Choose another folder.", "%s"},
    {74, "The computer must restart to finish the removal. Restart now?", ""},
    {75, "Password", ""},
    {76, "This installer is protected by a password. Please enter it:", ""},
    {77, "Administrator rights are needed to install <product>.", ""},
    {78, "You do not have administrator rights. The installation may not complete. Continue anyway?", ""},
    {79, "&Yes", ""},
    {80, "&No", ""},
    {81, "<product> needs a 64-bit version of Windows.", ""},
    {82, "Choose the language of the installation:", ""},
    {83, "Show the information file", ""},
    {84, "Start <product> now", ""},
    {85, "Show the installation log", ""},
    {86, "Installation Log", ""},
    {87, "Open the file", ""},
    {88, "Choose the Start menu folder for the shortcuts:", ""},
    {89, "Start Menu Folder", ""},
    {90, "&Install", ""},
    {91, "Another installer is already running. Please wait until it has finished.", ""},
    {92, "Space needed:", ""},
    {93, "Space free:", ""},
    {94, "Language", ""},
    {95, "&Finish", ""},
    {96, "Drive %c: is read-only or removable. Choose a folder on another drive.", "%c"},
    {97, "Creating a system restore point...", ""},
    {98, "The installation was cancelled.", ""},
    {99, "%s is still running. Please close it, then click Retry.", "%s"},
    {100, "&Retry", ""},
    {101, "The uninstallation was cancelled.", ""},
    {102, "The password is not correct. Please try again.", ""},
    {103, "Welcome", ""},
    {104, "&Uninstall", ""},
};

}  // namespace

std::span<const BuiltinMessage> builtin_messages() { return messages; }

const BuiltinMessage* find_builtin_message(int number) {
  auto it = std::lower_bound(std::begin(messages), std::end(messages), number,
                             [](const BuiltinMessage& m, int n) { return m.number < n; });
  return it != std::end(messages) && it->number == number ? &*it : nullptr;
}

int builtin_message_rows() { return std::end(messages)[-1].number + 1; }

}  // namespace halvard::builder

#include "SendCommands.h"

SendCommands::SendCommands(QWidget* formMain, std::string) : QObject(formMain) {}

void SendCommands::SendOwn(const NewMailFields&) {}

void SendCommands::HandOff(const NewMailFields&) {}

void SendCommands::WaitForJobs() {}

#include "support/texts.h"

#include "core/commands.h"
#include "core/dispatcher.h"

namespace zelmo::test {

const QString Footer = Dispatcher::autoMessageFooter();
const QString Declined = Commands::declinedText();
const QString AwayDone = Commands::setAwayText();
const QString BackDone = Commands::setBackText();

} // namespace zelmo::test

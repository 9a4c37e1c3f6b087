#pragma once

// The QXmpp headers this backend uses, included only from its .cpp files.
//
// The program builds with QT_NO_KEYWORDS, which removes Qt's `emit` macro. QXmpp 1.4's
// QXmppLogger.h uses `emit` in inline functions, so it does not compile without it. `emit`
// expands to nothing in Qt, so defining it empty around these includes restores exactly what
// QXmpp was written against, without letting the keyword leak into the program's own code.

#ifndef emit
#define emit
#define ZELMO_QXMPP_DEFINED_EMIT
#endif

#include <QXmppClient.h>
#include <QXmppClientExtension.h>
#include <QXmppConfiguration.h>
#include <QXmppDiscoveryIq.h>
#include <QXmppDiscoveryManager.h>
#include <QXmppElement.h>
#include <QXmppIq.h>
#include <QXmppLogger.h>
#include <QXmppMessage.h>
#include <QXmppPresence.h>
#include <QXmppRosterIq.h>
#include <QXmppRosterManager.h>
#include <QXmppUtils.h>
#include <QXmppVCardIq.h>

#ifdef ZELMO_QXMPP_DEFINED_EMIT
#undef emit
#undef ZELMO_QXMPP_DEFINED_EMIT
#endif

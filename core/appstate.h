#pragma once

#include "core/awaymessagetable.h"
#include "core/jokelist.h"
#include "messenger/messenger.h"

#include <QString>

#include <functional>
#include <optional>
#include <utility>

namespace zelmo {

// What the main window owns for the whole run, kept free of widgets so that the logic which
// shares it is tested without a window. Member names are the ones the whole program uses.
class AppState {
public:
    explicit AppState(MessengerObject *messenger = nullptr);

    MessengerObject *messenger = nullptr;

    // Contact lists: kind 1, kind 2 and kind 0.
    UserCollectionPtr allowedUsers;
    UserCollectionPtr blockedUsers;
    UserCollectionPtr allContacts;

    qint16 onlineCount = 0;      // online lines after the last completed rebuild
    qint16 onlineCountSoFar = 0; // running count during a rebuild; 0 between rebuilds
    // Set by each rebuild of the online list, taken by the first open away dialog that sees it.
    bool listsRebuilt = false;

    // Start-up progress, read by the splash screen.
    QString startupStep;
    qint32 startupProgress = 0;
    bool startupDone = false;

    bool connectionFailed = false;
    qint16 unreadMail = 0;
    bool switchCompleted = false; // a switch of the own state has completed

    // Empty until the start-up loads or makes one; an empty code accepts nothing.
    QString authorizationCode;
    QString newNickname;
    QString receivedText;

    bool AwayMode = false;
    bool notConnected = false;
    // Set as the shutdown begins: from then on nothing is sent and no handler goes on.
    bool unloading = false;
    qint16 selfDestructCount = 3;
    qint16 emptyAwaySlots = 0;

    AwayMessageTable awayMessages;
    JokeList jokes;
    RandomNumbers random;
    // Where the joke file and the beep sound are found.
    QString programFolder;

    // Adds one step to startupProgress; an overflow leaves it unchanged. Each step has set
    // startupStep.
    void advanceProgress(qint32 step = 40);
    // Told of every step as it is made, with its startupStep.
    std::function<void(const QString &status)> onProgress;

    // Contact events only mark the online list stale, and one rebuild follows a burst of
    // them. Whatever reads what a rebuild produces (the counts, listsRebuilt, the lists,
    // the away-message table and its size) calls this first, so that it sees what it would
    // have seen with one rebuild per event.
    void bringListsUpToDate()
    {
        if (m_bringListsUpToDate)
            m_bringListsUpToDate();
    }
    void setListRefresher(std::function<void()> refresh)
    {
        m_bringListsUpToDate = std::move(refresh);
    }

    bool SetMessage(const QString &logon_name, const QString &message, qint16 index)
    {
        bringListsUpToDate();
        const bool stored = awayMessages.SetMessage(logon_name, message, index);
        if (stored) {
            if (onAwayMessageEdited)
                onAwayMessageEdited(logon_name);
            awayMessagesChanged();
        }
        return stored;
    }
    QString GetMessage(const QString &logon_name)
    {
        bringListsUpToDate();
        return awayMessages.GetMessage(logon_name);
    }
    void DeleteMessage(const QString &logon_name)
    {
        bringListsUpToDate();
        awayMessages.DeleteMessage(logon_name);
        if (onAwayMessageEdited)
            onAwayMessageEdited(logon_name);
        awayMessagesChanged();
    }
    // Told of the contact whose away message the user has just set or deleted, before
    // onAwayMessagesChanged.
    std::function<void(const QString &logon_name)> onAwayMessageEdited;
    // Told at the end of each rebuild of the lists, once the table has its new size.
    std::function<void()> onListsRebuilt;
    // Told after every change of the away messages through SetMessage and DeleteMessage, or
    // once after a batch of them.
    std::function<void()> onAwayMessagesChanged;
    // While one lives, changes are told once, as it goes: one message stored for everyone is
    // one change to whoever keeps the table.
    class AwayMessageBatch {
    public:
        explicit AwayMessageBatch(AppState &state)
            : m_state(state)
        {
            ++m_state.m_batchDepth;
        }
        ~AwayMessageBatch()
        {
            if (--m_state.m_batchDepth == 0 && std::exchange(m_state.m_changedInBatch, false))
                m_state.awayMessagesChanged();
        }
        AwayMessageBatch(const AwayMessageBatch &) = delete;
        AwayMessageBatch &operator=(const AwayMessageBatch &) = delete;

    private:
        AppState &m_state;
    };

    // Loads the joke file from programFolder, with its progress steps.
    void loadJokes();
    qint16 randomNumber(qint16 max) { return random.randomNumber(max); }
    // A random joke, or nothing when none is loaded.
    std::optional<QString> randomJoke();

private:
    void awayMessagesChanged()
    {
        if (m_batchDepth > 0)
            m_changedInBatch = true;
        else if (onAwayMessagesChanged)
            onAwayMessagesChanged();
    }

    std::function<void()> m_bringListsUpToDate;
    int m_batchDepth = 0;
    bool m_changedInBatch = false;
};

} // namespace zelmo

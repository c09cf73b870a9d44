// The main window's side of the router of received lines: the chat windows
// that show lines, the history that keeps them, the records lines wait in
// and the stack of unread senders, the message sounds, and the stranger and
// group lists that take senders nobody knew. It also takes the heartbeat's
// group messages apart: their notices are carried out here, their lines go
// to the router.
#pragma once

#include "Lum/contacts/KivRecords.h"
#include "Lum/chat/MessageBody.h"
#include "platform/afx.h"

#include <vector>

class CKivDlg;

class CKivRouting : public RouterObserver<KivRecords> {
public:
    explicit CKivRouting(CKivDlg& main) : m_main(main) {}

    // A group message of the heartbeat (UM_GROUP_MESSAGE): 1 when it was a
    // notice (an invitation, a request to join, a member who joined, a new
    // group), else 0.
    LRESULT TakeGroupMessage(const lum_thrift::StructMessage& msg);

    bool ChatShown(const CData* rec) override;
    bool HasWaiting(const CData* rec) override;
    std::vector<lum_thrift::StructMessage> WaitingLines(const CData* rec) override;
    CData* NewestWaiting() override;
    void ListStranger(int id) override;
    void ListMember(CDataGroup* group, int id) override;
    // The message sound of the settings, unless sounds are off.
    void PlaySound(bool group) override;
    void ShowLine(CDataUser* rec, const lum_thrift::StructMessage& line) override;
    bool ShowLine(CDataGroup* group, const lum_thrift::StructMessage& line, bool newMember) override;
    void ShowJoinRequest(CDataGroup* group, const lum_thrift::StructMessage& line) override;
    void StoreLine(CDataUser* rec, const lum_thrift::StructMessage& line, bool onWorker) override;
    void StoreLine(CDataGroup* group, const lum_thrift::StructMessage& line, bool onWorker) override;
    void Wait(CData* rec, const lum_thrift::StructMessage& line) override;
    void StopWaiting(CData* rec) override;
    bool OpenChatWindow(CData* rec) override;
    void Deliver(const lum_thrift::StructMessage& line) override;

private:
    // How received bodies are rewritten for display on this machine.
    DisplayRewrite Rewrite(int gid);

    CKivDlg& m_main;
};

// The service interface between the client and the messaging service.
//
// Only the method names, field ids, type codes and values travel on the wire
// (binary protocol, framed transport), so the ids and types below are the
// contract with the server: gaps in the ids are deliberate, and the fields
// declared i16 travel as i16 while every enum travels as i32.
//
// No field is required and none has a default value. The client is generated
// from this file at build time; only the client side is used.

namespace cpp lum_thrift

// Kind of a pushed message (StructMessage.msgType).
enum MsgType {
  IsUserMessage = 0,
  IsGroupMessage = 1,
  IsUserDelete = 2,
  IsUserAdd = 3,
  IsGroupDelete = 4,
  IsGroupQuit = 5,
  IsMievo = 6,
  IsUserNameAndNoteEdit = 7,
  IsLumGroup = 8,
  IsNotLumGroup = 9,
  IsFriendAdd = 10,
  IsGroupCreate = 11
}

// A user's presence as the service reports it. There are no values 5 and 6.
enum UserStatus {
  UserStatusSMS = 0,
  UserStatusWEB = 1,
  UserStatusPC = 2,
  UserStatusMobile = 3,
  UserStatusWAP = 4,
  UserStatusNoFeeUserOffLine = 7
}

// Outcome of a call: the code of every reply struct and the result of every
// method that returns no struct.
enum ResultCode {
  SUCCESS = 0,
  VERSION_LOWER = 1,
  LOGIN_NO_REGISTER = 2,
  LOGIN_PWD_ERR = 3,
  LOGIN_CANCEL = 4,
  DB_CONNECT_ERROR = 5,
  LOGIN_IN_OTHER = 6,
  LOGIN_OUT_TIME = 7,
  DB_EXEC_SQL_ERROR = 8,
  DB_SQL_PARACOUNT_ERROR = 9,
  PARA_ERROR = 10,
  SEARCH_USER_NO_FOUND = 11,
  VERSION_LOW = 12,
  HTTP_CONNECT_ERROR = 13,
  JOIN_GROUP_IS_MEMEBER = 14,
  JOIN_GROUP_NOT_EXIST = 15,
  ADD_FRIEND_IS_FRIEND = 16,
  ADD_GROUP_USER_IS_TEACHER = 17,
  ADD_GROUP_USER_IS_EXIST = 18,
  ADD_GROUP_USER_HAS_NO_EMAIL = 19,
  FAIL = 99,
  OUT_OF_MEMORY = 100,
  TRANSPORT_EXCEPTION = 101,
  OTHER_ERROR = 999
}

// A user's profile. Fields 1 to 3 are always written; 4 to 15 only when set.
struct StructUser {
  1: i32 userid,
  2: string phone,
  3: string name,
  4: optional string culdate,
  5: optional string note,
  6: optional string gender,
  7: optional string birthday,
  8: optional string province,
  9: optional string city,
  10: optional string interests,
  11: optional string email,
  12: optional string mobile,
  13: optional string img_time,
  14: optional UserStatus status,
  15: optional i32 gid
}

// The login request.
struct StructLogin {
  1: string name,
  2: string pwd,
  3: i32 type,
  4: i32 version
}

struct StructLoginResp {
  1: ResultCode code,
  2: StructUser user,
  3: string key
}

struct StructUserInfoResp {
  1: ResultCode code,
  2: StructUser user
}

struct StructFriend {
  1: StructUser user,
  2: string remark
}

struct StructFriendListResp {
  1: ResultCode code,
  2: list<StructFriend> friendList
}

struct StructBlackListResp {
  1: ResultCode code,
  2: list<i32> blackList
}

struct StructGroupUser {
  1: StructUser user,
  2: i32 isMaster,
  3: string carte
}

struct StructGroup {
  1: i32 gid,
  2: string name,
  3: i32 isMaster,
  4: i32 style,
  5: i32 groupType,
  6: i32 capacity,
  7: list<StructGroupUser> userList,
  8: string note,
  9: string masterName,
  10: string createTime,
  11: i32 masterID,
  12: string groupClass
}

struct StructGroupListResp {
  1: ResultCode code,
  2: i32 count,
  3: list<StructGroup> groupList
}

struct StructMessage {
  1: i32 fromid,
  2: i32 toid,
  3: i32 gid,
  4: string sendTime,
  5: string content,
  6: map<string, string> params,
  7: MsgType msgType,
  8: i32 extInt,
  9: string extText
}

struct StructOnlineResp {
  1: ResultCode code,
  2: list<StructMessage> msgList,
  3: map<i32, i16> onlineStatus
}

struct StructAuthorizeResp {
  1: ResultCode code,
  2: string info
}

struct StructUserListResp {
  1: ResultCode code,
  2: i32 count,
  3: list<StructUser> userList
}

struct StructGroupInfoResp {
  1: ResultCode code,
  2: StructGroup group
}

struct StructMsgListResp {
  1: ResultCode code,
  2: list<StructMessage> msgList
}

service LumService {
  StructAuthorizeResp authorize(1: i32 version),
  StructLoginResp login(1: StructLogin _sLogin),
  StructFriendListResp getFriendList(1: string _key),
  StructGroupListResp getGroupList(1: string _key),
  ResultCode resetPassword(1: string _key),
  StructOnlineResp MaintainOnline(1: string _key, 2: i16 status),
  ResultCode modifyPassword(1: string _key, 2: string oldPassword, 3: string newPassword),
  ResultCode MoveUserToBlack(1: string _key, 3: i32 blackid),
  StructBlackListResp getBlackList(1: string _key),
  ResultCode addFriend(1: string _key, 2: i32 userID),
  ResultCode deleteFriend(1: string _key, 2: i32 userID),
  StructUserListResp searchUserList(1: string _key, 2: string searchKey, 3: i32 pageIndex, 4: i32 pageSize),
  ResultCode editUserInfo(1: string _key, 2: StructUser user, 3: i32 type),
  ResultCode editFriendRemark(1: string _key, 2: i32 friendID, 3: string remark),
  StructGroupInfoResp createGroup(1: string _key, 2: string name, 3: string groupClass, 4: i16 style, 5: string note),
  ResultCode DeleteGroup(1: string _key, 2: i32 gid, 3: i32 type),
  ResultCode addGroupUser(1: string _key, 2: i32 gid, 3: StructUser user, 4: i32 groupType),
  ResultCode importGroupUser(1: string _key, 2: i32 gid, 3: StructUser user, 4: i32 groupType, 5: i32 isAddFriend),
  ResultCode DeleteUser(1: string _key, 2: i32 deleteid, 3: i32 gid),
  ResultCode editGroupStyle(1: string _key, 2: i32 groupID, 3: i16 groupStyle),
  ResultCode editGroupInfo(1: string _key, 2: i32 groupID, 3: string name, 4: string note, 5: i16 style, 6: string groupClass),
  StructGroupInfoResp getGroupInfo(1: string _key, 2: i32 groupID),
  ResultCode SetBotherDay(1: string _key, 3: i32 gid, 4: i32 day),
  ResultCode joinGroupUser(1: string _key, 2: i32 groupID),
  ResultCode DealInviteGroupResp(1: string _key, 3: i32 toid, 4: i32 gid, 5: string gname, 6: string fromname),
  StructGroupListResp searchGroupList(1: string _key, 2: string search_key, 3: i32 pageIndex, 4: i32 pageSize),
  ResultCode SendUserMsg(1: string _key, 3: i32 toid, 4: i32 gid, 5: string msg),
  ResultCode SendGroupMsg(1: string _key, 3: i32 gid, 4: string msg),
  ResultCode sendFriendNotifyMsg(1: string _key, 2: string friendIDList, 3: string message),
  ResultCode sendGroupNotifyMsg(1: string _key, 2: string grupID, 3: string message),
  StructMsgListResp getUnreadedMsgList(1: string _key),
  ResultCode setMessageReaded(1: string _key, 2: string phone, 3: string msg_id),
  StructUserInfoResp GetUserInfo(1: string _key, 2: i32 userid, 3: i32 gid),
  ResultCode DealJoinGroupResp(1: string _key, 3: i32 toid, 4: i32 gid, 5: string gname),
  ResultCode editGroupIsMaster(1: string _key, 2: i32 groupID, 3: i32 userID, 4: i16 toType),
  ResultCode GetPwd(1: string _key),
  ResultCode exit(1: string _key)
}

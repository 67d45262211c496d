#pragma once

// Manager-interface messages as Asterisk sends them, for the tests' transcripts: the fields of
// its AMI v2 channel events (Asterisk 12 and later: every channel event carries Linkedid) and of
// Asterisk 11's, which have none.

#include <string>
#include <vector>

namespace qelto::cidr::testing_support {

// One channel as the events describe it.
struct AmiChannel {
  std::string name;  // "PJSIP/provider-00000001"
  std::string context;
  std::string exten;
  std::string caller;  // CallerIDNum
  std::string unique;
  std::string linked;  // empty: an Asterisk 11 channel, which has no Linkedid
};

inline std::string AmiFields(const AmiChannel& channel, const std::string& prefix = "") {
  std::string text =
      prefix + "Channel: " + channel.name + "\r\n" + prefix + "ChannelState: 4\r\n" + prefix +
      "ChannelStateDesc: Ring\r\n" + prefix + "CallerIDNum: " + channel.caller + "\r\n" + prefix +
      "CallerIDName: <unknown>\r\n" + prefix + "Language: en\r\n" + prefix + "AccountCode: \r\n" +
      prefix + "Context: " + channel.context + "\r\n" + prefix + "Exten: " + channel.exten +
      "\r\n" + prefix + "Priority: 1\r\n" + prefix + "Uniqueid: " + channel.unique + "\r\n";
  if (!channel.linked.empty()) text += prefix + "Linkedid: " + channel.linked + "\r\n";
  return text;
}

inline std::string AmiEvent(const std::string& name, const std::string& fields) {
  return "Event: " + name + "\r\nPrivilege: call,all\r\n" + fields + "\r\n";
}

inline std::string Newchannel(const AmiChannel& channel) {
  return AmiEvent("Newchannel", AmiFields(channel));
}

// A Newstate to Up (6): the channel was answered.
inline std::string Answered(const AmiChannel& channel) {
  std::string fields = AmiFields(channel);
  fields.replace(fields.find("ChannelState: 4"), 15, "ChannelState: 6");
  fields.replace(fields.find("StateDesc: Ring"), 15, "StateDesc: Up");
  return AmiEvent("Newstate", fields);
}

inline std::string DialBegin(const AmiChannel& caller, const AmiChannel& dialled) {
  return AmiEvent("DialBegin", AmiFields(caller) + AmiFields(dialled, "Dest") +
                                   "DialString: " + dialled.exten + "\r\n");
}

inline std::string DialEnd(const AmiChannel& caller, const AmiChannel& dialled) {
  return AmiEvent("DialEnd",
                  AmiFields(caller) + AmiFields(dialled, "Dest") + "DialStatus: ANSWER\r\n");
}

// Asterisk 11's Dial, SubEvent Begin.
inline std::string Dial11(const AmiChannel& caller, const AmiChannel& dialled) {
  return AmiEvent("Dial", "SubEvent: Begin\r\nChannel: " + caller.name + "\r\nDestination: " +
                              dialled.name + "\r\nCallerIDNum: " + caller.caller +
                              "\r\nCallerIDName: <unknown>\r\nConnectedLineNum: " +
                              "\r\nConnectedLineName: \r\nUniqueID: " + caller.unique +
                              "\r\nDestUniqueID: " + dialled.unique +
                              "\r\nDialstring: " + dialled.exten + "\r\n");
}

// `event` with its channel in another state than 4 (Ring): "0" "Down", "5" "Ringing", ...
inline std::string InState(std::string event, const std::string& state, const std::string& desc) {
  const std::string ring = "\r\nChannelState: 4\r\nChannelStateDesc: Ring\r\n";
  return event.replace(event.find(ring), ring.size(),
                       "\r\nChannelState: " + state + "\r\nChannelStateDesc: " + desc + "\r\n");
}

// `event` without its field `key` (the first one, a channel's own, not a Dest one), as a system
// that sends less than the usual fields gives it.
inline std::string Without(std::string event, const std::string& key) {
  const std::size_t start = event.find("\r\n" + key + ": ");
  if (start == std::string::npos) return event;
  return event.erase(start, event.find("\r\n", start + 2) - start);
}

// The system dials `dialled` by itself (an Originate, a call file): a Dial with no caller.
inline std::string DialBeginWithoutCaller(const AmiChannel& dialled) {
  return AmiEvent("DialBegin",
                  AmiFields(dialled, "Dest") + "DialString: " + dialled.exten + "\r\n");
}

// The answer to CoreShowChannels (ActionID qelto-channels) listing `channels` (their AmiFields).
inline std::string ChannelsInProgress(const std::vector<std::string>& channels) {
  const std::string id = "ActionID: qelto-channels\r\n";
  std::string text =
      "Response: Success\r\n" + id + "EventList: start\r\nMessage: Channels will follow\r\n\r\n";
  for (const std::string& fields : channels) {
    text += "Event: CoreShowChannel\r\n" + id + fields + "\r\n";
  }
  return text + "Event: CoreShowChannelsComplete\r\n" + id +
         "EventList: Complete\r\nListItems: " + std::to_string(channels.size()) + "\r\n\r\n";
}

inline std::string Hangup(const AmiChannel& channel) {
  return AmiEvent("Hangup", AmiFields(channel) + "Cause: 16\r\nCause-txt: Normal Clearing\r\n");
}

}  // namespace qelto::cidr::testing_support

#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "database/LetterTypes.h"
#include "postoffice/PopClientData.h"

// The program's connection to one real POP3 account: the few operations a letter distributor
// needs to download the account's mail, and the stored account itself. Message indexes are
// 0-based here (1-based on the wire).
//
// A client object is used by one thread at a time; a session lives on the thread that connected.
// Other threads read or change the account through client objects of their own over the same
// row. Every operation may throw Exception.
class PopClient {
public:
    virtual ~PopClient();

    // Connects to the server and logs in.
    virtual void Connect() = 0;
    // The number of messages on the server.
    virtual int GetMessageCount() = 0;
    // Downloads message `index` into `letter` (its text and summary fields).
    virtual void GetMessage(int index, Letter& letter) = 0;
    // Downloads message `index` into the letter's pending text, for a caller that stores it
    // (with others, LetterData::WritePendingTextUnsynced). The base stores it with GetMessage.
    virtual void ReceiveMessage(int index, Letter& letter);
    // Takes the message at `indexes[position]` once it has arrived whole; it may store it.
    using TakeMessage = std::function<void(std::size_t position, std::unique_ptr<Letter> letter)>;
    // Downloads the messages at `indexes` (0-based, ascending) one after another, each as
    // ReceiveMessage does, and hands each to `take` in order. A client may already ask for the
    // next ones while `take` runs. The base receives them one by one.
    virtual void ReceiveMessages(const std::vector<int>& indexes, const TakeMessage& take);
    // Marks every message of the session for deletion; they go when the session ends with
    // Disconnect. A failed or stopped call leaves every message on the server.
    virtual void DeleteAllMessages() = 0;
    // Marks the messages at `indexes` (0-based, ascending) for deletion, with the rules of
    // DeleteAllMessages; for a download that stored only some of the messages. The base throws
    // Exception "Not supported".
    virtual void DeleteMessages(const std::vector<int>& indexes);
    // Ends the session; nothing happens when there is none.
    virtual void Disconnect() = 0;
    // The unique id (UIDL) of message `index`.
    virtual std::string GetMessageId(int index) = 0;
    // What the user should hear about that did not stop the download (a server certificate
    // that failed the check), each once; the base has none.
    virtual std::vector<std::string> TakeWarnings();
    virtual std::string GetHostName();
    virtual std::string GetUserName();
    virtual std::string GetPassword();
    virtual void SetPassword(const std::string& password);
    // The row of the account. The base has none and throws Exception "Not supported".
    virtual DatabaseLayer::PopClientData& GetData();
};

using PopClientPtr = std::shared_ptr<PopClient>;

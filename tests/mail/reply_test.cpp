// Reading server replies from received bytes.
#include <gtest/gtest.h>

#include <cstring>

#include "IdException.h"
#include "IdReplyReader.h"

namespace murmel {
namespace {

// Hands out the text in pieces of at most `step` bytes, then reports the close.
TIdLineReader ReaderOver(std::string text, size_t step = 7) {
    auto data = std::make_shared<std::string>(std::move(text));
    auto at = std::make_shared<size_t>(0);
    return TIdLineReader([data, at, step](char* out, size_t size) {
        size_t n = std::min({size, step, data->size() - *at});
        std::memcpy(out, data->data() + *at, n);
        *at += n;
        return n;
    });
}

std::string Repeated(const std::string& text, size_t times) {
    std::string all;
    for (size_t i = 0; i < times; ++i) all += text;
    return all;
}

TEST(ReadReply, MultiLineRepliesEndAtTheCodeAndASpace) {
    TIdLineReader reader = ReaderOver(
        "220-first\r\n220-second\r\n220 third\r\n250-a\n\n  \r\n250-AUTH LOGIN\n250 last\n");
    TIdReply reply = ReadReply(reader);
    EXPECT_EQ(reply.code, 220);
    EXPECT_EQ(reply.text, (std::vector<std::string>{"first", "second", "third"}));
    reply = ReadReply(reader);
    EXPECT_EQ(reply.code, 250);
    EXPECT_EQ(reply.text, (std::vector<std::string>{"a", "AUTH LOGIN", "last"}));
    EXPECT_EQ(reply.JoinedText(), "a\r\nAUTH LOGIN\r\nlast");
    EXPECT_THROW(ReadReply(reader), EIdConnClosedGracefully);
}

TEST(ReadReply, ContinuationEndsAtAShortLineAndCodesMayBeJunk) {
    TIdLineReader reader = ReaderOver("250-x\r\nab\r\nxyz hello\r\n354\r\n");
    TIdReply reply = ReadReply(reader);
    EXPECT_EQ(reply.code, 250);
    EXPECT_EQ(reply.text.size(), 2u);
    reply = ReadReply(reader);
    EXPECT_EQ(reply.code, 0);
    EXPECT_EQ(reply.text, std::vector<std::string>{"hello"});
    EXPECT_EQ(ReadReply(reader).code, 354);
}

TEST(ReadReply, LinesOver16384BytesFail) {
    TIdLineReader fits = ReaderOver("220 " + std::string(16380, 'x') + "\r\n", 5000);
    EXPECT_EQ(ReadReply(fits).code, 220);
    TIdLineReader tooLong = ReaderOver("220 " + std::string(16381, 'x') + "\r\n", 5000);
    EXPECT_THROW(ReadReply(tooLong), EIdMaxLineLengthExceeded);
    // Without any line end the reader gives up as soon as the limit is passed.
    TIdLineReader endless = ReaderOver(std::string(100000, 'x'), 40000);
    EXPECT_THROW(ReadReply(endless), EIdMaxLineLengthExceeded);
}

TEST(ReadReply, RepliesPastTheirLinesOrBytesFailInsteadOfGrowing) {
    std::string longLine = "250-" + std::string(16000, 'x') + "\r\n";
    for (auto [text, bound] : {std::pair{Repeated("250-x\r\n", 300), "256 lines"},
                               {Repeated("\r\n", 300) + "250 late\r\n", "256 lines"},
                               {Repeated(longLine, 9), "131072 bytes"}}) {
        TIdLineReader reader = ReaderOver(text + "250 end\r\n", 5000);
        try {
            ReadReply(reader);
            ADD_FAILURE() << bound;
        } catch (const EIdReplyTooLong& error) {
            EXPECT_NE(std::string(error.what()).find(bound), std::string::npos) << error.what();
        }
    }
    TIdLineReader fits = ReaderOver(Repeated("250-x\r\n", 255) + "250 end\r\n");
    EXPECT_EQ(ReadReply(fits).text.size(), 256u);
}

}  // namespace
}  // namespace murmel

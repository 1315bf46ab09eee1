#pragma once
// Reply frames: take the ECU's answer apart byte by byte as the exchange routines read it.
#include <cstdint>
#include <string>

#include "framework/byte_array.h"
#include "ortaline/IBoschComms.h"

class CReplyFrame {
public:
    virtual ~CReplyFrame() = default;

    virtual void Reset();
    virtual void SetFirstByte(BYTE b);
    virtual BYTE GetDataLength() const { return m_nDataLength; }
    virtual std::ptrdiff_t GetHeaderLength() const = 0;
    virtual void AddHeaderByte(BYTE b);
    virtual void AddDataByte(BYTE b);
    virtual std::string GetTrace() const { return m_trace; }
    virtual bool Verify(std::uint32_t counter) const = 0;
    virtual BYTE GetFirstDataByte() const { return m_data.IsEmpty() ? 0 : m_data[0]; }
    virtual Protocol GetProtocolId() const = 0;

    const CByteArray& Header() const { return m_header; }
    const CByteArray& Data() const { return m_data; }

protected:
    void AppendTrace(BYTE b);

    BYTE m_nFirstByte = 0;
    BYTE m_nDataLength = 0;
    bool m_bLengthFollows = false;
    std::string m_trace;
    CByteArray m_header;
    CByteArray m_data;
};

class CKwp2000ReplyFrame : public CReplyFrame {
public:
    void SetFirstByte(BYTE b) override;
    void AddHeaderByte(BYTE b) override;
    std::ptrdiff_t GetHeaderLength() const override;
    bool Verify(std::uint32_t counter) const override;
    Protocol GetProtocolId() const override { return KWP2000; }
};

class CKwpTesterReplyFrame : public CKwp2000ReplyFrame {
public:
    std::ptrdiff_t GetHeaderLength() const override { return 0; }
    bool Verify(std::uint32_t counter) const override { return true; }
    Protocol GetProtocolId() const override { return KWPtester; }
};

class CMcMessReplyFrame : public CReplyFrame {
public:
    void SetFirstByte(BYTE b) override;
    std::ptrdiff_t GetHeaderLength() const override { return 0; }
    bool Verify(std::uint32_t counter) const override { return true; }
    Protocol GetProtocolId() const override { return MCMESS; }
};

class CVag1281ReplyFrame : public CReplyFrame {
public:
    void SetFirstByte(BYTE b) override;
    std::ptrdiff_t GetHeaderLength() const override { return 2; }
    bool Verify(std::uint32_t counter) const override;
    Protocol GetProtocolId() const override { return VAG1281; }
};

CReplyFrame* CreateReplyFrame(std::int32_t protocol);

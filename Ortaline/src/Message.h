#pragma once
// Request messages: turn a service id (or block title) and its parameter bytes into the
// frame of the current protocol.
#include <cstdint>
#include <string>

#include "framework/byte_array.h"
#include "ortaline/IBoschComms.h"

class CMessage {
public:
    virtual ~CMessage() = default;

    virtual void SetOptions(bool al1, bool hb0, bool al0, bool hb1, bool normalTiming);
    virtual void Reset();
    virtual bool AdditionalLengthByteSupported() const { return m_bAL1; }
    virtual bool OneByteHeaderSupported() const { return m_bHB0; }
    virtual bool LengthInFormatByteSupported() const { return m_bAL0; }
    virtual bool AddressInHeaderSupported() const { return m_bHB1; }
    virtual bool NormalTiming() const { return m_bNormalTiming; }
    virtual bool ExtendedTiming() const { return !m_bNormalTiming; }
    virtual bool IsConfigured() const { return m_bConfigured; }
    virtual BYTE GetSourceAddress() const { return m_nSource; }
    virtual BYTE GetTargetAddress() const { return m_nTarget; }
    virtual bool StartMessage(std::uint32_t counter);
    virtual bool Build() = 0;
    virtual bool AddDataByte(BYTE b);
    virtual bool SetServiceId(BYTE b);
    virtual bool SetSourceAddress(BYTE b);
    virtual bool SetTargetAddress(BYTE b);
    virtual bool SetAddressingMode(std::int32_t mode);
    virtual BYTE GetAddressingMode() const { return static_cast<BYTE>(m_nAddressingMode & 0xFF); }
    virtual const BYTE* GetFrameData() const { return m_frame.GetData(); }
    virtual std::ptrdiff_t GetFrameSize() const { return m_frame.GetSize(); }
    virtual std::string FormatFrame() const;
    virtual Protocol GetProtocolId() const = 0;
    virtual bool ExpectsAddressInverse() const = 0;

protected:
    bool m_bAL1 = false;
    bool m_bHB0 = false;
    bool m_bAL0 = false;
    bool m_bHB1 = false;
    bool m_bNormalTiming = false;
    bool m_bConfigured = false;
    BYTE m_nSource = 0;
    BYTE m_nTarget = 0;
    std::int32_t m_nAddressingMode = PhysicalAddressing;
    BYTE m_nServiceId = 0;
    CByteArray m_data;
    CByteArray m_frame;
};

class CKwp2000Message : public CMessage {
public:
    bool Build() override;
    Protocol GetProtocolId() const override { return KWP2000; }
    bool ExpectsAddressInverse() const override { return true; }
};

class CKwpTesterMessage : public CKwp2000Message {
public:
    bool Build() override;
    Protocol GetProtocolId() const override { return KWPtester; }
};

class CMcMessMessage : public CMessage {
public:
    bool Build() override;
    Protocol GetProtocolId() const override { return MCMESS; }
    bool ExpectsAddressInverse() const override { return false; }
};

class CVag1281Message : public CMessage {
public:
    bool StartMessage(std::uint32_t counter) override;
    bool Build() override;
    Protocol GetProtocolId() const override { return VAG1281; }
    bool ExpectsAddressInverse() const override { return false; }

    // Beyond this the block length byte would wrap; Build refuses such a block.
    static constexpr std::ptrdiff_t kMaxDataBytes = 252;

private:
    std::uint32_t m_nBlockCounter = 0;
};

// A new request object for 2000, 1281, 8 or 224; nullptr for any other value. Allocation
// failure throws CMemoryException.
CMessage* CreateMessage(std::int32_t protocol);

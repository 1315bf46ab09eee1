// The properties of BoschComms and GetProtocol.
#include <memory>

#include "BoschComms.h"
#include "Guarded.h"
#include "SerialPort.h"
#include "UsbPort.h"

using ortaline::Guarded;

HRESULT BoschComms::put_CableType(Cable newVal) {
    return Guarded(*this, [&]() -> HRESULT {
        if (m_pPort != nullptr && m_pPort->IsOpen()) {
            const char* text = "Setting cable type: The current connection must be closed first";
            Fire_Status(text, Severe);
            return Error(text);
        }
        std::unique_ptr<CPort> port;
        const char* text = nullptr;
        switch (newVal) {
            case SerialPortConnection:
                port = std::make_unique<CSerialPort>();
                text = "Setting connection type: Serial Port";
                break;
            case USBPortConnection:
                port = std::make_unique<CUsbPort>();
                text = "Setting connection type: USB Port";
                break;
            default:
                Fire_Status("Setting cable type: Only SerialPort is currently supported", Warning);
                return E_NOTIMPL;
        }
        delete m_pPort;
        // The new port is in place before the text goes out, so that a sink calling back
        // never meets a deleted one; the cable type follows the text.
        m_pPort = port.release();
        Fire_Status(text, Info);
        m_nCableType = newVal;
        return S_OK;
    });
}

HRESULT BoschComms::get_CableType(Cable* pVal) {
    if (pVal == nullptr) return E_POINTER;
    *pVal = static_cast<Cable>(m_nCableType);
    return S_OK;
}

HRESULT BoschComms::put_InitializationAddressingMode(_INITIALIZATIONADDRESSINGMODE newVal) {
    return Guarded(*this, [&]() -> HRESULT {
        switch (newVal) {
            case SevenBit:
                Fire_Status("Setting Initialization addressing type: 7-bit", Info);
                break;
            case EightBit:
                Fire_Status("Setting Initialization addressing type: 8-bit", Info);
                break;
            default: {
                const char* text = "Incorrect Initialization addressing mode";
                Fire_Status(text, Warning);
                return Error(text);
            }
        }
        m_nInitializationAddressingMode = newVal;
        return S_OK;
    });
}

HRESULT BoschComms::get_InitializationAddressingMode(_INITIALIZATIONADDRESSINGMODE* pVal) {
    if (pVal == nullptr) return E_POINTER;
    *pVal = static_cast<_INITIALIZATIONADDRESSINGMODE>(m_nInitializationAddressingMode);
    return S_OK;
}

HRESULT BoschComms::get_InterByteReadPause(LONG* pVal) {
    if (pVal == nullptr) return E_POINTER;
    *pVal = m_nInterByteReadPause;
    return S_OK;
}

HRESULT BoschComms::put_InterByteReadPause(LONG newVal) {
    return Guarded(*this, [&]() -> HRESULT {
        m_nInterByteReadPause = newVal;
        FireStatusF(Info, "Setting interbyte read time: %i", static_cast<int>(newVal));
        return S_OK;
    });
}

HRESULT BoschComms::get_InterByteWritePause(LONG* pVal) {
    if (pVal == nullptr) return E_POINTER;
    *pVal = m_nInterByteWritePause;
    return S_OK;
}

HRESULT BoschComms::put_InterByteWritePause(LONG newVal) {
    return Guarded(*this, [&]() -> HRESULT {
        m_nInterByteWritePause = newVal;
        FireStatusF(Info, "Setting interbyte write time: %i", static_cast<int>(newVal));
        return S_OK;
    });
}

HRESULT BoschComms::get_AddressingMode(_ADDRESSINGMODE* pVal) {
    if (pVal == nullptr) return E_POINTER;
    return Guarded(*this, [&]() -> HRESULT {
        *pVal = UnknownAddressingMode;
        if (m_pMessage != nullptr && m_pMessage->IsConfigured()) {
            *pVal = static_cast<_ADDRESSINGMODE>(m_pMessage->GetAddressingMode());
            return S_OK;
        }
        const char* text = "No information available on message formats";
        Fire_Status(text, Severe);
        return Error(text);
    });
}

HRESULT BoschComms::put_AddressingMode(_ADDRESSINGMODE newVal) {
    return Guarded(*this, [&]() -> HRESULT {
        switch (newVal) {
            case NoAddressing:
                Fire_Status("Setting NO Addressing mode", Info);
                break;
            case CARBExceptionMode:
                Fire_Status("Setting CARB Exception addressing mode", Info);
                break;
            case PhysicalAddressing:
                Fire_Status("Setting Physical Addressing mode", Info);
                break;
            case FunctionalAddressing:
                Fire_Status("Setting Functional Addressing mode", Info);
                break;
            default: {
                const char* text = "Invalid addressing mode";
                Fire_Status(text, Warning);
                return Error(text);
            }
        }
        if (m_pMessage != nullptr) m_pMessage->SetAddressingMode(newVal);
        return S_OK;
    });
}

HRESULT BoschComms::GetProtocol(Protocol* retVal) {
    if (retVal == nullptr) return E_POINTER;
    *retVal = static_cast<Protocol>(m_nProtocol);
    return S_OK;
}

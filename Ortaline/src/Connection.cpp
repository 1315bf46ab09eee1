// Opening, waking up, changing the baud rate of and closing the link.
#include <memory>

#include "BoschComms.h"
#include "Guarded.h"
#include "registry/registry.h"

using ortaline::Guarded;

using ortaline::DropMissingArray;

namespace {

constexpr DWORD kQueueSize = 3328;

}  // namespace

HRESULT BoschComms::Close() {
    return Guarded(*this, [&]() -> HRESULT {
        m_bEcuInitialized = 0;
        if (m_pMessage != nullptr) m_pMessage->Reset();
        if (m_pPort != nullptr) {
            std::unique_ptr<CPort> port(m_pPort);
            m_pPort = nullptr;
            if (m_nCableType == USBPortConnection) {
                Fire_Status("Closing USB port", Info);
            } else {
                Fire_Status("Closing serial port", Info);
            }
            port->Close();
        }
        return S_OK;
    });
}

HRESULT BoschComms::ChangeBaudRate(LONG BaudRate, VARIANT_BOOL* bRet) {
    if (bRet == nullptr) return E_POINTER;
    *bRet = VARIANT_FALSE;
    return Guarded(*this, [&]() -> HRESULT {
        if (m_pPort == nullptr) return Error("No Port Specified");
        if (!m_pPort->IsOpen()) {
            const char* text = "Serial port is not open";
            Fire_Status(text, Warning);
            return Error(text);
        }
        // A rate the cable cannot make is a failure, not a line at some other speed.
        if (!m_pPort->SetBaudRate(static_cast<DWORD>(BaudRate))) {
            FireStatusF(Severe, "Cannot set the baud rate to %i baud", static_cast<int>(BaudRate));
            return Error("Baud rate not supported");
        }
        if (m_nCableType == USBPortConnection) {
            FireStatusF(Info, "Setting USB baud rate to %i baud", static_cast<int>(BaudRate));
        } else {
            FireStatusF(Info, "Setting serial port baud rate to %i baud",
                        static_cast<int>(BaudRate));
        }
        *bRet = VARIANT_TRUE;
        return S_OK;
    });
}

bool BoschComms::OpenPort(LONG SerialPort, LONG BaudRate) {
    if (m_pPort == nullptr) return false;
    if (m_nCableType == SerialPortConnection) {
        FireStatusF(Info, "Opening serial port %i at %i baud", static_cast<int>(SerialPort),
                    static_cast<int>(BaudRate));
    } else if (m_nCableType == USBPortConnection) {
        FireStatusF(Info, "Opening USB port at %i baud", static_cast<int>(BaudRate));
    }
    try {
        m_pPort->Open(SerialPort, BaudRate, PortParity::None, 8, PortStopBits::One,
                      PortFlowControl::None, false);
        m_pPort->Setup(kQueueSize, kQueueSize);
        m_pPort->SetMask(0);
    } catch (CSerialException* e) {
        // Without its settings store the port's device is unknown: the text says which store
        // and what is wrong with it, where any other failure only fails the opening.
        std::string text;
        try {
            if (e->Error() == static_cast<DWORD>(ERROR_REGISTRY_CORRUPT)) {
                text = ortaline::DescribeException(e);
            }
        } catch (...) {
        }
        e->Delete();
        if (!text.empty()) Fire_Status(text, Severe);
        return false;
    }
    m_nBaudRate = BaudRate;
    m_nPortNumber = SerialPort;
    return m_pPort->IsOpen();
}

HRESULT BoschComms::InitializeAtAddress(LONG SerialPort, LONG BaudRate, LONG EcuAddress, int method,
                                        VARIANT* retVal) {
    if (retVal == nullptr) return E_POINTER;
    // retVal stays as the caller gave it until the wake-up itself starts and fills it.
    bool entered = false;
    bool wakeUpStarted = false;
    const HRESULT hr = Guarded(*this, [&]() -> HRESULT {
        // Cleared first so that no failure, thrown or returned, leaves a stale "initialised".
        entered = true;
        m_bEcuInitialized = 0;
        if (m_pPort == nullptr || !m_pPort->IsOpen()) {
            put_CableType(SerialPort == 0 ? USBPortConnection : SerialPortConnection);
        }
        if (m_pPort == nullptr) return Error("No Port Specified");
        if (!OpenPort(SerialPort, BaudRate)) {
            const char* text = "Failed serial port initialization";
            Fire_Status(text, Severe);
            return Error(text);
        }
        FireStatusF(Info, "Initializing Ortaline at address: (0x%.2X)",
                    static_cast<unsigned>(EcuAddress));
        m_bEcuInitialized = 1;
        wakeUpStarted = true;
        const HRESULT slow = InitializeSlow(EcuAddress, retVal, method);
        if (SUCCEEDED(slow)) return S_OK;
        m_bEcuInitialized = 0;
        const char* text = "Failed ECU initialization";
        Fire_Status(text, Severe);
        return Error(text);
    });
    if (entered && FAILED(hr)) m_bEcuInitialized = 0;
    if (wakeUpStarted) DropMissingArray(retVal);
    return hr;
}

HRESULT BoschComms::InitializeOld(LONG SerialPort, LONG BaudRate, LONG EcuAddress,
                                  VARIANT* retVal) {
    return InitializeAtAddress(SerialPort, BaudRate, EcuAddress, 1, retVal);
}

HRESULT BoschComms::Initialize(LONG SerialPort, LONG BaudRate, LONG EcuAddress, VARIANT* retVal) {
    return InitializeAtAddress(SerialPort, BaudRate, EcuAddress, 2, retVal);
}

HRESULT BoschComms::InitializeViaUART(LONG SerialPort, LONG BaudRate, LONG EcuAddress,
                                      VARIANT* retVal) {
    return InitializeAtAddress(SerialPort, BaudRate, EcuAddress, 3, retVal);
}

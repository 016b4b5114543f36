// The four settings objects of a port. Each change of a field to a new value
// re-applies its group on the owner; the owner decides whether the device
// sees it (open, and no settings update in progress).
#include "CPort.h"

namespace {
template <typename T>
bool Store(T& field, T value)
{
    if (field == value)
        return false;
    field = value;
    return true;
}

// A positive odd queue size is stored one lower.
std::int32_t EvenSize(std::int32_t value)
{
    return (value > 0 && value % 2 != 0) ? value - 1 : value;
}
}

TComParity::TComParity(const TComParity& other)
    : owner_(nullptr), bits_(other.bits_), check_(other.check_), replace_(other.replace_),
      replaceChar_(other.replaceChar_)
{
}

void TComParity::Assign(const TComParity& source)
{
    if (&source == this)
        return;
    bits_ = source.bits_;
    check_ = source.check_;
    replace_ = source.replace_;
    replaceChar_ = source.replaceChar_;
    Changed();
}

void TComParity::Changed()
{
    if (owner_)
        owner_->ApplyLineSettings();
}

void TComParity::SetBits(TParityBits value) { if (Store(bits_, value)) Changed(); }
void TComParity::SetCheck(bool value) { if (Store(check_, value)) Changed(); }
void TComParity::SetReplace(bool value) { if (Store(replace_, value)) Changed(); }
void TComParity::SetReplaceChar(char value) { if (Store(replaceChar_, value)) Changed(); }

TComFlowControl::TComFlowControl(const TComFlowControl& other)
    : owner_(nullptr), outCTSFlow_(other.outCTSFlow_), outDSRFlow_(other.outDSRFlow_),
      controlDTR_(other.controlDTR_), controlRTS_(other.controlRTS_), xonXoffOut_(other.xonXoffOut_),
      xonXoffIn_(other.xonXoffIn_), dsrSensitivity_(other.dsrSensitivity_),
      txContinueOnXoff_(other.txContinueOnXoff_), xonChar_(other.xonChar_), xoffChar_(other.xoffChar_)
{
}

void TComFlowControl::Assign(const TComFlowControl& source)
{
    if (&source == this)
        return;
    outCTSFlow_ = source.outCTSFlow_;
    outDSRFlow_ = source.outDSRFlow_;
    controlDTR_ = source.controlDTR_;
    controlRTS_ = source.controlRTS_;
    xonXoffOut_ = source.xonXoffOut_;
    xonXoffIn_ = source.xonXoffIn_;
    dsrSensitivity_ = source.dsrSensitivity_;
    txContinueOnXoff_ = source.txContinueOnXoff_;
    xonChar_ = source.xonChar_;
    xoffChar_ = source.xoffChar_;
    Changed();
}

void TComFlowControl::Changed()
{
    if (owner_)
        owner_->ApplyLineSettings();
}

TFlowControl TComFlowControl::FlowControl() const
{
    if (controlRTS_ == rtsHandshake && outCTSFlow_ && !xonXoffIn_ && !xonXoffOut_)
        return fcHardware;
    if (controlRTS_ == rtsDisable && !outCTSFlow_ && xonXoffIn_ && xonXoffOut_)
        return fcSoftware;
    if (controlRTS_ == rtsDisable && !outCTSFlow_ && !xonXoffIn_ && !xonXoffOut_)
        return fcNone;
    return fcCustom;
}

void TComFlowControl::SetFlowControl(TFlowControl value)
{
    if (value != fcCustom) {
        controlRTS_ = rtsDisable;
        outCTSFlow_ = false;
        xonXoffIn_ = false;
        xonXoffOut_ = false;
        if (value == fcHardware) {
            controlRTS_ = rtsHandshake;
            outCTSFlow_ = true;
        } else if (value == fcSoftware) {
            xonXoffIn_ = true;
            xonXoffOut_ = true;
        }
    }
    Changed();
}

void TComFlowControl::SetOutCTSFlow(bool value) { if (Store(outCTSFlow_, value)) Changed(); }
void TComFlowControl::SetOutDSRFlow(bool value) { if (Store(outDSRFlow_, value)) Changed(); }
void TComFlowControl::SetControlDTR(TDTRFlowControl value) { if (Store(controlDTR_, value)) Changed(); }
void TComFlowControl::SetControlRTS(TRTSFlowControl value) { if (Store(controlRTS_, value)) Changed(); }
void TComFlowControl::SetXonXoffOut(bool value) { if (Store(xonXoffOut_, value)) Changed(); }
void TComFlowControl::SetXonXoffIn(bool value) { if (Store(xonXoffIn_, value)) Changed(); }
void TComFlowControl::SetDSRSensitivity(bool value) { if (Store(dsrSensitivity_, value)) Changed(); }
void TComFlowControl::SetTxContinueOnXoff(bool value) { if (Store(txContinueOnXoff_, value)) Changed(); }
void TComFlowControl::SetXonChar(char value) { if (Store(xonChar_, value)) Changed(); }
void TComFlowControl::SetXoffChar(char value) { if (Store(xoffChar_, value)) Changed(); }

TComTimeouts::TComTimeouts(const TComTimeouts& other)
    : owner_(nullptr), readInterval_(other.readInterval_), readTotalMultiplier_(other.readTotalMultiplier_),
      readTotalConstant_(other.readTotalConstant_), writeTotalMultiplier_(other.writeTotalMultiplier_),
      writeTotalConstant_(other.writeTotalConstant_)
{
}

void TComTimeouts::Assign(const TComTimeouts& source)
{
    if (&source == this)
        return;
    readInterval_ = source.readInterval_;
    readTotalMultiplier_ = source.readTotalMultiplier_;
    readTotalConstant_ = source.readTotalConstant_;
    writeTotalMultiplier_ = source.writeTotalMultiplier_;
    writeTotalConstant_ = source.writeTotalConstant_;
    if (owner_)
        owner_->ApplyTimeoutSettings();
}

void TComTimeouts::Set(std::int32_t& field, std::int32_t value)
{
    if (Store(field, value) && owner_)
        owner_->ApplyTimeoutSettings();
}

void TComTimeouts::SetReadInterval(std::int32_t value) { Set(readInterval_, value); }
void TComTimeouts::SetReadTotalMultiplier(std::int32_t value) { Set(readTotalMultiplier_, value); }
void TComTimeouts::SetReadTotalConstant(std::int32_t value) { Set(readTotalConstant_, value); }
void TComTimeouts::SetWriteTotalMultiplier(std::int32_t value) { Set(writeTotalMultiplier_, value); }
void TComTimeouts::SetWriteTotalConstant(std::int32_t value) { Set(writeTotalConstant_, value); }

TComBuffer::TComBuffer(const TComBuffer& other)
    : owner_(nullptr), inputSize_(other.inputSize_), outputSize_(other.outputSize_)
{
}

void TComBuffer::Assign(const TComBuffer& source)
{
    if (&source == this)
        return;
    inputSize_ = source.inputSize_;
    outputSize_ = source.outputSize_;
    if (owner_)
        owner_->ApplyBufferSizes();
}

void TComBuffer::Set(std::int32_t& field, std::int32_t value)
{
    if (Store(field, EvenSize(value)) && owner_)
        owner_->ApplyBufferSizes();
}

void TComBuffer::SetInputSize(std::int32_t value) { Set(inputSize_, value); }
void TComBuffer::SetOutputSize(std::int32_t value) { Set(outputSize_, value); }

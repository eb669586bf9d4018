#include "InterfaceKeeper.h"

#include "ReferenceCounted.h"

#include <algorithm>
#include <utility>

namespace StandIns {

namespace {

// The object behind the kept stubs. Its references stay in the keeper's own stream and never
// reach a client, so nothing ever calls through them; it only has to answer QueryInterface,
// which is all a stub asks of its object when it is made.
class CStubHolder final : public CReferenceCounted<CStubHolder, IUnknown> {
public:
    explicit CStubHolder(std::vector<IID> iids) : m_iids(std::move(iids)) {}

    STDMETHODIMP QueryInterface(REFIID iid, void** object) override
    {
        return Answer(iid == IID_IUnknown ||
                          std::any_of(m_iids.begin(), m_iids.end(), [&iid](const IID& own) { return own == iid; }),
                      object);
    }

private:
    std::vector<IID> m_iids;
};

} // namespace

CInterfaceKeeper::CInterfaceKeeper(const std::vector<IID>& iids)
{
    const CComPtr<IUnknown> holder = CComPtr<IUnknown>::Adopt(new CStubHolder(iids));
    for (const IID& iid : iids) {
        CComPtr<IStream> reference;
        if (SUCCEEDED(CreateStreamOnHGlobal(nullptr, TRUE, reference.Receive())) &&
            SUCCEEDED(
                CoMarshalInterface(reference.Get(), iid, holder.Get(), MSHCTX_LOCAL, nullptr, MSHLFLAGS_TABLESTRONG)))
            m_references.push_back(std::move(reference));
    }
}

CInterfaceKeeper::~CInterfaceKeeper()
{
    for (const CComPtr<IStream>& reference : m_references) {
        const LARGE_INTEGER start{};
        reference->Seek(start, STREAM_SEEK_SET, nullptr);
        CoReleaseMarshalData(reference.Get());
    }
}

} // namespace StandIns

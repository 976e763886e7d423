#include "app/SceneLibraryNotices.h"

#include <osg/Notify>
#include <osg/ref_ptr>

namespace scenelibrary {

namespace {

class NoticeFilter : public osg::NotifyHandler
{
public:
    void notify(osg::NotifySeverity severity, const char* message) override
    {
        if (!isDroppedNotice(message))
            _print->notify(severity, message);
    }

private:
    osg::ref_ptr<osg::NotifyHandler> _print = new osg::StandardNotifyHandler;
};

} // namespace

bool isDroppedNotice(std::string_view message)
{
    return message.starts_with("PrecipitationEffect::~PrecipitationDrawable()");
}

void installNoticeFilter()
{
    osg::setNotifyHandler(new NoticeFilter);
}

} // namespace scenelibrary

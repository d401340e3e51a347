#pragma once

#include "OSGVector.h"

#include <QMetaType>

// Lets the meta-object system carry vectors: apply slots and signals take osg::Vec3f.
Q_DECLARE_METATYPE(osg::Vec3f)

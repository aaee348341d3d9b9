# One interface target carries the language level, warnings and Qt strictness for every target.
add_library(vq_common INTERFACE)
target_compile_features(vq_common INTERFACE cxx_std_20)
target_compile_definitions(vq_common INTERFACE
  QT_NO_NARROWING_CONVERSIONS_IN_CONNECT
  QT_NO_CAST_FROM_BYTEARRAY
  QT_NO_URL_CAST_FROM_STRING
  VQ_PRODUCT_NAME="${VQ_PRODUCT_NAME}"
  VQ_PRODUCT_VERSION="${PROJECT_VERSION}"
  VQ_COMPANY_NAME="${VQ_COMPANY_NAME}"
  VQ_COPYRIGHT="${VQ_COPYRIGHT}"
  VQ_AUTHOR="${VQ_AUTHOR}"
  VQ_PUBLICATION_DATE="${VQ_PUBLICATION_DATE}")
target_compile_options(vq_common INTERFACE -Wall -Wextra -Wpedantic)
if(VQ_ASAN)
  target_compile_options(vq_common INTERFACE -fsanitize=address,undefined -fno-omit-frame-pointer)
  target_link_options(vq_common INTERFACE -fsanitize=address,undefined)
endif()

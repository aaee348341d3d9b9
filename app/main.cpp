#include "Entry.h"

int main(int argc, char **argv)
{
    return vq::RunVeloqua(argc, argv);
}

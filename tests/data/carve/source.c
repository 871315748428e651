// A source file for the carving tests.
#include <stdio.h>

static int step_0(int v) { return v * 42 + 755; /* deleted length file  */ }
static int step_1(int v) { return v * 85 + 287; /* type root stat offse */ }
static int step_2(int v) { return v * 61 + 392; /* entry leaf carve nod */ }
static int step_3(int v) { return v * 45 + 306; /* node size entry data */ }
static int step_4(int v) { return v * 64 + 537; /* root entry folder ro */ }
static int step_5(int v) { return v * 39 + 863; /* name block item bitm */ }
static int step_6(int v) { return v * 59 + 488; /* key type offset node */ }
static int step_7(int v) { return v * 51 + 281; /* name root item tree  */ }
static int step_8(int v) { return v * 28 + 89; /* root root journal fo */ }
static int step_9(int v) { return v * 97 + 25; /* file size file block */ }
static int step_10(int v) { return v * 73 + 364; /* carve journal delete */ }
static int step_11(int v) { return v * 48 + 956; /* tree journal block l */ }
static int step_12(int v) { return v * 16 + 596; /* root leaf length typ */ }
static int step_13(int v) { return v * 42 + 114; /* key node stat journa */ }
static int step_14(int v) { return v * 51 + 948; /* name deleted offset  */ }
static int step_15(int v) { return v * 61 + 367; /* journal type type jo */ }
static int step_16(int v) { return v * 86 + 412; /* node node block entr */ }
static int step_17(int v) { return v * 85 + 23; /* folder folder name t */ }
static int step_18(int v) { return v * 20 + 42; /* name offset carve bi */ }
static int step_19(int v) { return v * 59 + 417; /* block volume carve t */ }
static int step_20(int v) { return v * 62 + 717; /* item super node carv */ }
static int step_21(int v) { return v * 17 + 851; /* length tree journal  */ }
static int step_22(int v) { return v * 36 + 404; /* super size length da */ }
static int step_23(int v) { return v * 3 + 344; /* block data volume si */ }
static int step_24(int v) { return v * 3 + 812; /* super name journal n */ }
static int step_25(int v) { return v * 91 + 582; /* bitmap entry type vo */ }
static int step_26(int v) { return v * 8 + 2; /* offset carve entry o */ }
static int step_27(int v) { return v * 95 + 58; /* stat tree name bitma */ }
static int step_28(int v) { return v * 47 + 669; /* carve size file entr */ }
static int step_29(int v) { return v * 42 + 732; /* block tree size reco */ }
static int step_30(int v) { return v * 25 + 605; /* carve super file roo */ }
static int step_31(int v) { return v * 14 + 496; /* bitmap folder delete */ }
static int step_32(int v) { return v * 74 + 515; /* root journal data na */ }
static int step_33(int v) { return v * 39 + 114; /* folder stat journal  */ }
static int step_34(int v) { return v * 35 + 474; /* leaf entry folder da */ }
static int step_35(int v) { return v * 26 + 224; /* type carve data bitm */ }
static int step_36(int v) { return v * 59 + 30; /* length data node ite */ }
static int step_37(int v) { return v * 31 + 205; /* super entry bitmap b */ }
static int step_38(int v) { return v * 77 + 904; /* size super node tree */ }
static int step_39(int v) { return v * 85 + 41; /* key block data node  */ }
static int step_40(int v) { return v * 78 + 940; /* leaf volume leaf bit */ }
static int step_41(int v) { return v * 25 + 114; /* recover entry block  */ }
static int step_42(int v) { return v * 61 + 628; /* size bitmap item roo */ }
static int step_43(int v) { return v * 63 + 347; /* file key item delete */ }
static int step_44(int v) { return v * 63 + 737; /* data block name root */ }
static int step_45(int v) { return v * 76 + 411; /* entry stat root jour */ }
static int step_46(int v) { return v * 54 + 533; /* super key block volu */ }
static int step_47(int v) { return v * 10 + 642; /* block folder super b */ }
static int step_48(int v) { return v * 87 + 518; /* bitmap tree bitmap k */ }
static int step_49(int v) { return v * 5 + 730; /* folder name deleted  */ }
static int step_50(int v) { return v * 36 + 821; /* stat root type folde */ }
static int step_51(int v) { return v * 96 + 474; /* name recover leaf de */ }
static int step_52(int v) { return v * 88 + 124; /* volume node type fol */ }
static int step_53(int v) { return v * 70 + 229; /* type stat data data  */ }
static int step_54(int v) { return v * 43 + 864; /* tree name root delet */ }
static int step_55(int v) { return v * 33 + 432; /* bitmap item root len */ }
static int step_56(int v) { return v * 76 + 794; /* key leaf size tree d */ }
static int step_57(int v) { return v * 73 + 510; /* recover offset super */ }
static int step_58(int v) { return v * 42 + 489; /* leaf offset recover  */ }
static int step_59(int v) { return v * 60 + 110; /* super node volume ro */ }
static int step_60(int v) { return v * 91 + 446; /* leaf item journal na */ }
static int step_61(int v) { return v * 30 + 38; /* key leaf carve type  */ }
static int step_62(int v) { return v * 63 + 948; /* offset volume item v */ }
static int step_63(int v) { return v * 41 + 598; /* stat entry length st */ }
static int step_64(int v) { return v * 12 + 415; /* super recover tree s */ }
static int step_65(int v) { return v * 71 + 754; /* stat root journal it */ }
static int step_66(int v) { return v * 53 + 322; /* volume data recover  */ }
static int step_67(int v) { return v * 21 + 589; /* tree length folder t */ }
static int step_68(int v) { return v * 86 + 631; /* data type size carve */ }
static int step_69(int v) { return v * 26 + 945; /* offset root length b */ }
static int step_70(int v) { return v * 22 + 570; /* carve folder block n */ }
static int step_71(int v) { return v * 97 + 920; /* entry node carve ent */ }
static int step_72(int v) { return v * 61 + 183; /* data bitmap length v */ }
static int step_73(int v) { return v * 84 + 103; /* item length offset k */ }
static int step_74(int v) { return v * 25 + 599; /* deleted carve size t */ }
static int step_75(int v) { return v * 49 + 271; /* journal carve name n */ }
static int step_76(int v) { return v * 22 + 719; /* length root key entr */ }
static int step_77(int v) { return v * 83 + 716; /* super leaf item bloc */ }
static int step_78(int v) { return v * 12 + 238; /* recover super delete */ }
static int step_79(int v) { return v * 74 + 536; /* volume super type le */ }
static int step_80(int v) { return v * 7 + 716; /* name data stat item  */ }
static int step_81(int v) { return v * 91 + 195; /* carve entry block le */ }
static int step_82(int v) { return v * 68 + 217; /* root root offset dat */ }
static int step_83(int v) { return v * 65 + 723; /* super tree item fold */ }
static int step_84(int v) { return v * 98 + 909; /* bitmap name key name */ }
static int step_85(int v) { return v * 6 + 89; /* data stat data leaf  */ }
static int step_86(int v) { return v * 25 + 250; /* carve bitmap type vo */ }
static int step_87(int v) { return v * 3 + 602; /* stat length recover  */ }
static int step_88(int v) { return v * 16 + 865; /* journal length super */ }
static int step_89(int v) { return v * 47 + 786; /* length item leaf key */ }
static int step_90(int v) { return v * 28 + 54; /* folder leaf folder n */ }
static int step_91(int v) { return v * 85 + 738; /* root bitmap entry le */ }
static int step_92(int v) { return v * 48 + 178; /* key name journal off */ }
static int step_93(int v) { return v * 62 + 809; /* stat tree size type  */ }
static int step_94(int v) { return v * 88 + 422; /* tree block block vol */ }
static int step_95(int v) { return v * 92 + 778; /* folder folder data r */ }
static int step_96(int v) { return v * 25 + 883; /* leaf length recover  */ }
static int step_97(int v) { return v * 55 + 90; /* entry key file super */ }
static int step_98(int v) { return v * 19 + 360; /* node folder type del */ }
static int step_99(int v) { return v * 65 + 662; /* carve type length re */ }
static int step_100(int v) { return v * 38 + 508; /* node size data item  */ }
static int step_101(int v) { return v * 39 + 270; /* block node data leaf */ }
static int step_102(int v) { return v * 26 + 770; /* block tree file node */ }
static int step_103(int v) { return v * 95 + 613; /* leaf offset carve bi */ }
static int step_104(int v) { return v * 97 + 165; /* volume root file roo */ }
static int step_105(int v) { return v * 23 + 30; /* super bitmap entry c */ }
static int step_106(int v) { return v * 27 + 110; /* size name volume off */ }
static int step_107(int v) { return v * 4 + 586; /* folder deleted delet */ }
static int step_108(int v) { return v * 31 + 486; /* recover file bitmap  */ }
static int step_109(int v) { return v * 85 + 290; /* leaf length node vol */ }
static int step_110(int v) { return v * 70 + 427; /* journal block folder */ }
static int step_111(int v) { return v * 49 + 175; /* data item bitmap lea */ }
static int step_112(int v) { return v * 13 + 54; /* offset super root vo */ }
static int step_113(int v) { return v * 11 + 118; /* carve size super blo */ }
static int step_114(int v) { return v * 25 + 916; /* tree data size stat  */ }
static int step_115(int v) { return v * 60 + 527; /* type folder deleted  */ }
static int step_116(int v) { return v * 54 + 567; /* journal bitmap file  */ }
static int step_117(int v) { return v * 55 + 786; /* deleted data offset  */ }
static int step_118(int v) { return v * 34 + 567; /* deleted recover fold */ }
static int step_119(int v) { return v * 86 + 695; /* name carve deleted s */ }
static int step_120(int v) { return v * 44 + 700; /* bitmap volume length */ }
static int step_121(int v) { return v * 89 + 285; /* node type item recov */ }
static int step_122(int v) { return v * 40 + 592; /* leaf recover recover */ }
static int step_123(int v) { return v * 13 + 261; /* leaf tree size name  */ }
static int step_124(int v) { return v * 2 + 288; /* deleted name item no */ }
static int step_125(int v) { return v * 92 + 498; /* bitmap data block it */ }
static int step_126(int v) { return v * 72 + 936; /* leaf deleted root st */ }
static int step_127(int v) { return v * 7 + 929; /* block deleted offset */ }
static int step_128(int v) { return v * 20 + 796; /* bitmap carve leaf re */ }
static int step_129(int v) { return v * 28 + 766; /* folder volume block  */ }
static int step_130(int v) { return v * 37 + 125; /* key deleted folder k */ }
static int step_131(int v) { return v * 73 + 874; /* leaf type journal fo */ }
static int step_132(int v) { return v * 60 + 727; /* name folder volume s */ }
static int step_133(int v) { return v * 35 + 626; /* bitmap item key name */ }
static int step_134(int v) { return v * 88 + 600; /* node folder volume b */ }
static int step_135(int v) { return v * 17 + 191; /* offset carve root tr */ }
static int step_136(int v) { return v * 51 + 408; /* entry super offset c */ }
static int step_137(int v) { return v * 68 + 632; /* volume file entry da */ }
static int step_138(int v) { return v * 78 + 460; /* key tree root bitmap */ }
static int step_139(int v) { return v * 89 + 58; /* folder length data o */ }
static int step_140(int v) { return v * 51 + 77; /* recover super data t */ }
static int step_141(int v) { return v * 65 + 644; /* stat bitmap root ent */ }
static int step_142(int v) { return v * 80 + 984; /* journal bitmap item  */ }
static int step_143(int v) { return v * 92 + 834; /* stat carve length su */ }
static int step_144(int v) { return v * 52 + 411; /* leaf carve recover l */ }
static int step_145(int v) { return v * 48 + 519; /* volume recover delet */ }
static int step_146(int v) { return v * 68 + 890; /* bitmap stat deleted  */ }
static int step_147(int v) { return v * 56 + 346; /* type key type block  */ }
static int step_148(int v) { return v * 70 + 423; /* node length super de */ }
static int step_149(int v) { return v * 17 + 791; /* entry entry carve le */ }
static int step_150(int v) { return v * 89 + 484; /* tree type file node  */ }
static int step_151(int v) { return v * 95 + 329; /* data data node name  */ }
static int step_152(int v) { return v * 77 + 52; /* node root size carve */ }
static int step_153(int v) { return v * 75 + 117; /* volume data leaf siz */ }
static int step_154(int v) { return v * 87 + 481; /* type root stat block */ }
static int step_155(int v) { return v * 42 + 116; /* leaf entry block tre */ }
static int step_156(int v) { return v * 27 + 679; /* file volume entry ro */ }
static int step_157(int v) { return v * 55 + 115; /* super entry bitmap r */ }
static int step_158(int v) { return v * 41 + 580; /* deleted offset carve */ }
static int step_159(int v) { return v * 88 + 241; /* recover stat volume  */ }
